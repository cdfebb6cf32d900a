#pragma once
// A pointer event on the canvas as the Qt-free rules see it: canvas points, the modifier
// keys held (ContentView::shiftModifierFlag, controlModifierFlag) and the button.

#include "Sonavant/model/Geometry.h"

#include <cstdint>

struct CanvasPointerEvent {
    enum class Kind { press, move, release, doubleClick };
    enum class Button { left, right, other };

    Kind kind = Kind::press;
    Point location;
    std::uint64_t modifiers = 0;
    Button button = Button::left;
};
