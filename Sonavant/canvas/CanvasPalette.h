#pragma once
// The RGB of the fifteen named colours on the dark canvas, and the overlay purple.

#include "Sonavant/model/NamedColor.h"

#include <QColor>
#include <string_view>

struct CanvasPalette {
    static QColor colour(NamedColor colour);
    // By name, as objects carry them; an unknown name is gray.
    static QColor named(std::string_view name);
    static QColor purple();
};
