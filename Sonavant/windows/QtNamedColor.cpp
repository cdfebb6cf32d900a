#include "Sonavant/windows/QtNamedColor.h"

QColor qtColor(NamedColor colour, double opacity) {
    QColor c;
    switch (colour) {
    case NamedColor::red:
        c = QColor(255, 69, 58);
        break;
    case NamedColor::orange:
        c = QColor(255, 159, 10);
        break;
    case NamedColor::yellow:
        c = QColor(255, 214, 10);
        break;
    case NamedColor::green:
        c = QColor(48, 209, 88);
        break;
    case NamedColor::blue:
        c = QColor(10, 132, 255);
        break;
    case NamedColor::purple:
        c = QColor(191, 90, 242);
        break;
    case NamedColor::pink:
        c = QColor(255, 55, 95);
        break;
    case NamedColor::brown:
        c = QColor(172, 142, 104);
        break;
    case NamedColor::gray:
        c = QColor(142, 142, 147);
        break;
    case NamedColor::black:
        c = QColor(0, 0, 0);
        break;
    case NamedColor::white:
        c = QColor(255, 255, 255);
        break;
    case NamedColor::cyan:
        c = QColor(100, 210, 255);
        break;
    case NamedColor::mint:
        c = QColor(102, 212, 207);
        break;
    case NamedColor::teal:
        c = QColor(64, 200, 224);
        break;
    case NamedColor::indigo:
        c = QColor(94, 92, 230);
        break;
    }
    c.setAlphaF(float(opacity));
    return c;
}
