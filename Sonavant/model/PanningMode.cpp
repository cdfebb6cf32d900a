#include "Sonavant/model/PanningMode.h"

#include "Sonavant/model/RawValueCoding.h"

namespace {
constexpr std::array<std::string_view, 5> rawValues{"Linear", "Sine Curved", "Cosine Curved", "Power Curved",
                                                    "Constant Power"};
}

std::string_view rawValue(PanningMode mode) {
    return rawValues[static_cast<int>(mode)];
}

std::optional<PanningMode> panningModeFromRawValue(std::string_view raw) {
    return enumFromRawValue(allPanningModes, raw);
}

platform::Value platform::Coder<PanningMode>::encode(PanningMode v) {
    return Value(std::string(rawValue(v)));
}

PanningMode platform::Coder<PanningMode>::decode(const Value& v, const std::string& path) {
    return decodeRawValue(allPanningModes, v, path, "PanningMode");
}
