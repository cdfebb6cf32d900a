#include "Sonavant/panels/NamedColourPalette.h"

QColor namedColourPalette(NamedColor colour) {
    switch (colour) {
    case NamedColor::red:
        return QColor(255, 69, 58);
    case NamedColor::orange:
        return QColor(255, 159, 10);
    case NamedColor::yellow:
        return QColor(255, 214, 10);
    case NamedColor::green:
        return QColor(48, 209, 88);
    case NamedColor::blue:
        return QColor(10, 132, 255);
    case NamedColor::purple:
        return QColor(191, 90, 242);
    case NamedColor::pink:
        return QColor(255, 55, 95);
    case NamedColor::brown:
        return QColor(172, 142, 104);
    case NamedColor::gray:
        return QColor(142, 142, 147);
    case NamedColor::black:
        return QColor(0, 0, 0);
    case NamedColor::white:
        return QColor(255, 255, 255);
    case NamedColor::cyan:
        return QColor(100, 210, 255);
    case NamedColor::mint:
        return QColor(102, 212, 207);
    case NamedColor::teal:
        return QColor(64, 200, 224);
    case NamedColor::indigo:
        return QColor(94, 92, 230);
    }
    return QColor(142, 142, 147);
}
