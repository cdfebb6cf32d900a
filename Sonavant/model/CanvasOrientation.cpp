#include "Sonavant/model/CanvasOrientation.h"

#include "Sonavant/model/RawValueCoding.h"

#include <numbers>

namespace {
constexpr std::array<std::string_view, 4> rawValues{"top", "right", "bottom", "left"};
// The inverse is the negated forward angle taken modulo a full turn, so left turns back
// by -3π/2 rather than +π/2; both tables are read as they stand.
constexpr std::array<double, 4> forwardAngles{0, std::numbers::pi / 2, std::numbers::pi,
                                              -std::numbers::pi / 2};
constexpr std::array<double, 4> inverseAngles{0, -std::numbers::pi / 2, std::numbers::pi,
                                              -3 * std::numbers::pi / 2};
} // namespace

std::string_view rawValue(CanvasOrientation orientation) {
    return rawValues[static_cast<int>(orientation)];
}

std::optional<CanvasOrientation> canvasOrientationFromRawValue(std::string_view raw) {
    return enumFromRawValue(allCanvasOrientations, raw);
}

double forwardAngle(CanvasOrientation orientation) {
    return forwardAngles[static_cast<int>(orientation)];
}
double inverseAngle(CanvasOrientation orientation) {
    return inverseAngles[static_cast<int>(orientation)];
}

double speakerFocusZeroDegrees(CanvasOrientation orientation) {
    switch (orientation) {
    case CanvasOrientation::top:
        return 90.0;
    case CanvasOrientation::right:
        return 180.0;
    case CanvasOrientation::bottom:
        return -90.0;
    case CanvasOrientation::left:
        return 0.0;
    }
    return 90.0;
}

platform::Value platform::Coder<CanvasOrientation>::encode(CanvasOrientation v) {
    return Value(std::string(rawValue(v)));
}

CanvasOrientation platform::Coder<CanvasOrientation>::decode(const Value& v, const std::string& path) {
    return decodeRawValue(allCanvasOrientations, v, path, "CanvasOrientation");
}
