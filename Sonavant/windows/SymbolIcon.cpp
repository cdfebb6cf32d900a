#include "Sonavant/windows/SymbolIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

// Drawn on a 24 x 24 grid, scaled to the size asked.
void draw(QPainter& p, Symbol symbol, const QColor& c) {
    QPen pen(c, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (symbol) {
    case Symbol::plus:
        p.drawLine(QPointF(12, 4), QPointF(12, 20));
        p.drawLine(QPointF(4, 12), QPointF(20, 12));
        break;
    case Symbol::trash:
        p.drawLine(QPointF(4, 6), QPointF(20, 6));
        p.drawLine(QPointF(9, 6), QPointF(10, 3));
        p.drawLine(QPointF(10, 3), QPointF(14, 3));
        p.drawLine(QPointF(14, 3), QPointF(15, 6));
        p.drawPolyline(QPolygonF({QPointF(6, 6), QPointF(7, 21), QPointF(17, 21), QPointF(18, 6)}));
        p.drawLine(QPointF(10, 10), QPointF(10, 17));
        p.drawLine(QPointF(14, 10), QPointF(14, 17));
        break;
    case Symbol::pencil: {
        QPainterPath path;
        path.moveTo(4, 20);
        path.lineTo(5, 15);
        path.lineTo(16, 4);
        path.lineTo(20, 8);
        path.lineTo(9, 19);
        path.closeSubpath();
        p.drawPath(path);
        p.drawLine(QPointF(13, 7), QPointF(17, 11));
        break;
    }
    case Symbol::camera:
        p.drawRoundedRect(QRectF(3, 7, 18, 13), 2, 2);
        p.drawPolyline(QPolygonF({QPointF(8, 7), QPointF(10, 4), QPointF(14, 4), QPointF(16, 7)}));
        p.drawEllipse(QPointF(12, 13.5), 3.5, 3.5);
        break;
    case Symbol::circleArrows:
        p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 150 * 16);
        p.drawArc(QRectF(4, 4, 16, 16), 210 * 16, 150 * 16);
        p.drawPolyline(QPolygonF({QPointF(16, 3), QPointF(19, 7), QPointF(15, 8)}));
        p.drawPolyline(QPolygonF({QPointF(8, 21), QPointF(5, 17), QPointF(9, 16)}));
        break;
    case Symbol::uturnLeft: {
        QPainterPath path;
        path.moveTo(8, 6);
        path.lineTo(15, 6);
        path.arcTo(QRectF(10, 6, 10, 10), 90, -180);
        path.lineTo(6, 16);
        p.drawPath(path);
        p.drawPolyline(QPolygonF({QPointF(11, 2), QPointF(7, 6), QPointF(11, 10)}));
        break;
    }
    case Symbol::people:
        p.setBrush(c);
        p.drawEllipse(QPointF(12, 8), 3, 3);
        p.drawEllipse(QPointF(5.5, 10), 2.3, 2.3);
        p.drawEllipse(QPointF(18.5, 10), 2.3, 2.3);
        p.drawChord(QRectF(7, 13, 10, 10), 0, 180 * 16);
        p.drawChord(QRectF(1.5, 14, 8, 8), 0, 180 * 16);
        p.drawChord(QRectF(14.5, 14, 8, 8), 0, 180 * 16);
        break;
    case Symbol::speaker: {
        p.setBrush(c);
        p.drawPolygon(QPolygonF(
            {QPointF(3, 9), QPointF(7, 9), QPointF(12, 4), QPointF(12, 20), QPointF(7, 15), QPointF(3, 15)}));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(10, 8, 6, 8), -60 * 16, 120 * 16);
        p.drawArc(QRectF(9, 5, 11, 14), -60 * 16, 120 * 16);
        break;
    }
    case Symbol::mic:
        p.setBrush(c);
        p.drawRoundedRect(QRectF(9, 3, 6, 11), 3, 3);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6, 6, 12, 11), 180 * 16, 180 * 16);
        p.drawLine(QPointF(12, 17), QPointF(12, 21));
        p.drawLine(QPointF(9, 21), QPointF(15, 21));
        break;
    case Symbol::listPanel:
        p.drawRoundedRect(QRectF(4, 2, 16, 20), 2, 2);
        for (int row = 0; row < 3; ++row) {
            const double y = 7 + row * 5;
            p.drawPoint(QPointF(8, y));
            p.drawLine(QPointF(11, y), QPointF(16, y));
        }
        break;
    case Symbol::gear: {
        QPainterPath path;
        for (int tooth = 0; tooth < 8; ++tooth) {
            const double a0 = tooth * M_PI / 4 - 0.22, a1 = tooth * M_PI / 4 + 0.22;
            const double a2 = tooth * M_PI / 4 + M_PI / 8;
            auto at = [](double angle, double r) {
                return QPointF(12 + r * std::cos(angle), 12 + r * std::sin(angle));
            };
            if (tooth == 0)
                path.moveTo(at(a0, 10));
            else
                path.lineTo(at(a0, 10));
            path.lineTo(at(a1, 10));
            path.lineTo(at(a1 + 0.12, 7.5));
            path.lineTo(at(a2 + 0.3, 7.5));
        }
        path.closeSubpath();
        path.addEllipse(QPointF(12, 12), 3, 3);
        path.setFillRule(Qt::OddEvenFill);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawPath(path);
        break;
    }
    case Symbol::network:
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawEllipse(QPointF(12, 12), 4, 9);
        p.drawLine(QPointF(3, 12), QPointF(21, 12));
        p.drawArc(QRectF(4.5, 2, 15, 7), 200 * 16, 140 * 16);
        p.drawArc(QRectF(4.5, 15, 15, 7), 20 * 16, 140 * 16);
        break;
    case Symbol::eye: {
        QPainterPath lids;
        lids.moveTo(2, 12);
        lids.quadTo(12, 1, 22, 12);
        lids.quadTo(12, 23, 2, 12);
        p.drawPath(lids);
        p.setBrush(c);
        p.drawEllipse(QPointF(12, 12), 3.5, 3.5);
        break;
    }
    case Symbol::scope:
        p.drawEllipse(QPointF(12, 12), 7.5, 7.5);
        p.drawLine(QPointF(12, 1.5), QPointF(12, 8));
        p.drawLine(QPointF(12, 16), QPointF(12, 22.5));
        p.drawLine(QPointF(1.5, 12), QPointF(8, 12));
        p.drawLine(QPointF(16, 12), QPointF(22.5, 12));
        break;
    case Symbol::branch:
        p.drawLine(QPointF(12, 22), QPointF(12, 12));
        p.drawLine(QPointF(12, 12), QPointF(5, 4));
        p.drawLine(QPointF(12, 12), QPointF(19, 4));
        p.drawPolyline(QPolygonF({QPointF(4, 9), QPointF(5, 4), QPointF(10, 4.5)}));
        p.drawPolyline(QPolygonF({QPointF(14, 4.5), QPointF(19, 4), QPointF(20, 9)}));
        break;
    case Symbol::sliders:
        for (int line = 0; line < 3; ++line) {
            const double y = 6 + line * 6, knob = line == 1 ? 15 : (line == 0 ? 8 : 11);
            p.drawLine(QPointF(3, y), QPointF(21, y));
            p.setBrush(c);
            p.drawEllipse(QPointF(knob, y), 2.2, 2.2);
            p.setBrush(Qt::NoBrush);
        }
        break;
    case Symbol::photo:
        p.drawRoundedRect(QRectF(2.5, 4.5, 19, 15), 2.5, 2.5);
        p.drawEllipse(QPointF(16.5, 9), 1.8, 1.8);
        p.drawPolyline(
            QPolygonF({QPointF(3, 17), QPointF(9, 11), QPointF(14, 16), QPointF(16, 14), QPointF(21, 18)}));
        break;
    }
}

} // namespace

QPixmap symbolPixmap(Symbol symbol, int size, const QColor& colour, qreal ratio) {
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 24.0, size / 24.0);
    draw(painter, symbol, colour);
    return pixmap;
}

QIcon symbolIcon(Symbol symbol, const QColor& colour, int size) {
    QIcon icon;
    icon.addPixmap(symbolPixmap(symbol, size, colour), QIcon::Normal);
    QColor dim = colour;
    dim.setAlphaF(0.35);
    icon.addPixmap(symbolPixmap(symbol, size, dim), QIcon::Disabled);
    return icon;
}
