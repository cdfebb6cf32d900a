#pragma once
// Which wall of the room is at the top of the canvas.

#include "platform/Coding.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

enum class CanvasOrientation { top, right, bottom, left };

inline constexpr std::array<CanvasOrientation, 4> allCanvasOrientations{
    CanvasOrientation::top, CanvasOrientation::right, CanvasOrientation::bottom, CanvasOrientation::left};

std::string_view rawValue(CanvasOrientation orientation);
// Exact, case-sensitive.
std::optional<CanvasOrientation> canvasOrientationFromRawValue(std::string_view raw);

// Radians; a positive angle turns clockwise on screen.
double forwardAngle(CanvasOrientation orientation);
double inverseAngle(CanvasOrientation orientation);
// Degrees from the screen's "right, clockwise" to the direction a loudspeaker with focus 0
// is drawn in.
double speakerFocusZeroDegrees(CanvasOrientation orientation);

template <> struct platform::Coder<CanvasOrientation> {
    static Value encode(CanvasOrientation v);
    static CanvasOrientation decode(const Value& v, const std::string& path);
};
