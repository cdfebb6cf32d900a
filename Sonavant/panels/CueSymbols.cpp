#include "Sonavant/panels/CueSymbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>
#include <functional>

namespace {

QPen pen(const QColor& colour, double width) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPainterPath triangle(QPointF a, QPointF b, QPointF c) {
    QPainterPath path(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    return path;
}

void frameWithArrow(QPainter& p, double s, const QColor& colour, bool forward) {
    p.setPen(pen(colour, s * 0.07));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(s * 0.1, s * 0.2, s * 0.8, s * 0.6), s * 0.1, s * 0.1);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const double tip = forward ? 0.7 : 0.3, back = forward ? 0.45 : 0.55;
    p.drawPath(triangle({s * tip, s * 0.5}, {s * back, s * 0.35}, {s * back, s * 0.65}));
    p.drawRect(QRectF(s * (forward ? 0.32 : 0.6), s * 0.35, s * 0.08, s * 0.3));
}

void draw(QPainter& p, double s, CueSymbol symbol, const QColor& colour) {
    switch (symbol) {
    case CueSymbol::sidebarExpanded:
    case CueSymbol::sidebarCollapsed:
        frameWithArrow(p, s, colour, symbol == CueSymbol::sidebarExpanded);
        break;
    case CueSymbol::mixer: {
        const double ys[] = {0.25, 0.5, 0.75}, knobs[] = {0.65, 0.35, 0.55};
        for (int i = 0; i < 3; ++i) {
            p.setPen(pen(colour, s * 0.07));
            p.drawLine(QPointF(s * 0.12, s * ys[i]), QPointF(s * 0.88, s * ys[i]));
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            p.drawEllipse(QPointF(s * knobs[i], s * ys[i]), s * 0.09, s * 0.09);
        }
        break;
    }
    case CueSymbol::audienceArea: {
        p.setPen(pen(colour, s * 0.07));
        const double a = s * 0.12, b = s * 0.88, c = s * 0.22;
        for (auto [x, y, dx, dy] : {std::tuple{a, a, 1, 1}, {b, a, -1, 1}, {a, b, 1, -1}, {b, b, -1, -1}}) {
            p.drawLine(QPointF(x, y), QPointF(x + dx * c, y));
            p.drawLine(QPointF(x, y), QPointF(x, y + dy * c));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QPointF(s * 0.5, s * 0.38), s * 0.11, s * 0.11);
        QPainterPath body(QPointF(s * 0.3, s * 0.72));
        body.cubicTo(s * 0.3, s * 0.5, s * 0.7, s * 0.5, s * 0.7, s * 0.72);
        body.closeSubpath();
        p.drawPath(body);
        break;
    }
    case CueSymbol::drawPath: {
        p.setPen(pen(colour, s * 0.06));
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
        p.setPen(pen(colour, s * 0.09));
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
        p.setPen(pen(colour, s * 0.1));
        p.drawLine(QPointF(s * 0.5, s * 0.12), QPointF(s * 0.5, s * 0.85));
        p.drawLine(QPointF(s * 0.22, s * 0.58), QPointF(s * 0.5, s * 0.86));
        p.drawLine(QPointF(s * 0.78, s * 0.58), QPointF(s * 0.5, s * 0.86));
        break;
    case CueSymbol::arrowTurnDown:
        p.setPen(pen(colour, s * 0.1));
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
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter, double(size), symbol, colour);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
