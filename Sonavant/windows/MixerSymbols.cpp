#include "Sonavant/windows/MixerSymbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace {

QPainterPath snowflake(double size) {
    QPainterPath path;
    const double c = size / 2, r = size * 0.45, b = size * 0.14;
    for (int arm = 0; arm < 6; ++arm) {
        const double a = arm * M_PI / 3;
        const QPointF tip(c + r * std::cos(a), c + r * std::sin(a));
        path.moveTo(c, c);
        path.lineTo(tip);
        // A small branch on each side, two thirds out.
        const QPointF mid(c + r * 0.62 * std::cos(a), c + r * 0.62 * std::sin(a));
        for (double side : {-1.0, 1.0}) {
            const double ba = a + side * M_PI / 4;
            path.moveTo(mid);
            path.lineTo(mid.x() + b * std::cos(ba), mid.y() + b * std::sin(ba));
        }
    }
    return path;
}

QPainterPath arrow(double size, bool left) {
    QPainterPath path;
    const double m = size * 0.2, c = size / 2, head = size * 0.28;
    const double from = left ? size - m : m, to = left ? m : size - m;
    const double back = left ? to + head : to - head;
    path.moveTo(from, c);
    path.lineTo(to, c);
    path.moveTo(back, c - head);
    path.lineTo(to, c);
    path.lineTo(back, c + head);
    return path;
}

} // namespace

QIcon mixerSymbol(MixerSymbol symbol, const QColor& colour) {
    const int size = 64;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, size * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (symbol) {
    case MixerSymbol::snowflake:
        p.drawPath(snowflake(size));
        break;
    case MixerSymbol::arrowLeft:
        p.drawPath(arrow(size, true));
        break;
    case MixerSymbol::arrowRight:
        p.drawPath(arrow(size, false));
        break;
    }
    p.end();
    return QIcon(pixmap);
}
