#include "Sonavant/model/ZeroPointPosition.h"

#include "Sonavant/model/RawValueCoding.h"

namespace {
constexpr std::array<std::string_view, 9> rawValues{"Top Left",   "Center Left",  "Bottom Left",
                                                    "Top Center", "Center",       "Bottom Center",
                                                    "Top Right",  "Center Right", "Bottom Right"};
}

std::string_view rawValue(ZeroPointPosition position) {
    return rawValues[static_cast<int>(position)];
}

std::optional<ZeroPointPosition> zeroPointPositionFromRawValue(std::string_view raw) {
    return enumFromRawValue(allZeroPointPositions, raw);
}

platform::Value platform::Coder<ZeroPointPosition>::encode(ZeroPointPosition v) {
    return Value(std::string(rawValue(v)));
}

ZeroPointPosition platform::Coder<ZeroPointPosition>::decode(const Value& v, const std::string& path) {
    return decodeRawValue(allZeroPointPositions, v, path, "ZeroPointPosition");
}
