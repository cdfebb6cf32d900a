#include "Sonavant/panels/CueSymbols.h"

#include "platform/qt/Symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>
#include <functional>

namespace {

QPainterPath triangle(QPointF a, QPointF b, QPointF c) {
    QPainterPath path(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    return path;
}

void draw(QPainter& p, double s, CueSymbol symbol, const QColor& colour) {
    switch (symbol) {
    case CueSymbol::sidebarExpanded:
    case CueSymbol::sidebarCollapsed:
    case CueSymbol::mixer:
    case CueSymbol::audienceArea:
        break; // shared with the main view's column
    case CueSymbol::drawPath: {
        p.setPen(symbols::roundPen(colour, s * 0.06));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
        // A pencil tip pointing down-left.
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        QPainterPath pencil(QPointF(s * 0.28, s * 0.72));
        pencil.lineTo(s * 0.36, s * 0.5);
        pencil.lineTo(s * 0.62, s * 0.24);
        pencil.lineTo(s * 0.76, s * 0.38);
        pencil.lineTo(s * 0.5, s * 0.64);
        pencil.closeSubpath();
        p.drawPath(pencil);
        break;
    }
    case CueSymbol::play:
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(triangle({s * 0.22, s * 0.12}, {s * 0.86, s * 0.5}, {s * 0.22, s * 0.88}));
        break;
    case CueSymbol::stop:
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawRoundedRect(QRectF(s * 0.16, s * 0.16, s * 0.68, s * 0.68), s * 0.08, s * 0.08);
        break;
    case CueSymbol::trash:
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawRoundedRect(QRectF(s * 0.14, s * 0.18, s * 0.72, s * 0.1), s * 0.03, s * 0.03);
        p.drawRect(QRectF(s * 0.4, s * 0.1, s * 0.2, s * 0.1));
        {
            QPainterPath can(QPointF(s * 0.2, s * 0.32));
            can.lineTo(s * 0.8, s * 0.32);
            can.lineTo(s * 0.74, s * 0.9);
            can.lineTo(s * 0.26, s * 0.9);
            can.closeSubpath();
            p.drawPath(can);
        }
        break;
    case CueSymbol::repeat: {
        p.setPen(symbols::roundPen(colour, s * 0.09));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(s * 0.2, s * 0.55), QPointF(s * 0.2, s * 0.32));
        p.drawLine(QPointF(s * 0.2, s * 0.32), QPointF(s * 0.75, s * 0.32));
        p.drawLine(QPointF(s * 0.8, s * 0.45), QPointF(s * 0.8, s * 0.68));
        p.drawLine(QPointF(s * 0.8, s * 0.68), QPointF(s * 0.25, s * 0.68));
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(triangle({s * 0.9, s * 0.32}, {s * 0.7, s * 0.18}, {s * 0.7, s * 0.46}));
        p.drawPath(triangle({s * 0.1, s * 0.68}, {s * 0.3, s * 0.54}, {s * 0.3, s * 0.82}));
        break;
    }
    case CueSymbol::arrowDown:
        p.setPen(symbols::roundPen(colour, s * 0.1));
        p.drawLine(QPointF(s * 0.5, s * 0.12), QPointF(s * 0.5, s * 0.85));
        p.drawLine(QPointF(s * 0.22, s * 0.58), QPointF(s * 0.5, s * 0.86));
        p.drawLine(QPointF(s * 0.78, s * 0.58), QPointF(s * 0.5, s * 0.86));
        break;
    case CueSymbol::arrowTurnDown:
        p.setPen(symbols::roundPen(colour, s * 0.1));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(s * 0.15, s * 0.2), QPointF(s * 0.6, s * 0.2));
        p.drawLine(QPointF(s * 0.6, s * 0.2), QPointF(s * 0.6, s * 0.85));
        p.drawLine(QPointF(s * 0.35, s * 0.6), QPointF(s * 0.6, s * 0.86));
        p.drawLine(QPointF(s * 0.85, s * 0.6), QPointF(s * 0.6, s * 0.86));
        break;
    }
}

} // namespace

QIcon cueSymbol(CueSymbol symbol, const QColor& colour) {
    switch (symbol) {
    case CueSymbol::sidebarExpanded:
    case CueSymbol::sidebarCollapsed:
        return symbols::sidebarToggle(colour, symbol == CueSymbol::sidebarExpanded);
    case CueSymbol::mixer:
        return symbols::mixerSliders(colour);
    case CueSymbol::audienceArea:
        return symbols::audienceAreaEdit(colour);
    default:
        return symbols::drawnIcon([symbol, colour](QPainter& p, double s) { draw(p, s, symbol, colour); });
    }
}
