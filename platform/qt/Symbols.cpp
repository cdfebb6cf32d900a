#include "platform/qt/Symbols.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace symbols {

namespace {

QPixmap paint(int size, const std::function<void(QPainter&, double)>& draw) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter, double(size));
    return pixmap;
}

} // namespace

QIcon drawnIcon(const std::function<void(QPainter&, double)>& draw) {
    QIcon result;
    for (int size : {16, 24, 32, 48})
        result.addPixmap(paint(size, draw));
    return result;
}

QPen roundPen(QColor colour, double width) {
    QPen p(colour, width);
    p.setCapStyle(Qt::RoundCap);
    p.setJoinStyle(Qt::RoundJoin);
    return p;
}

QPixmap appIcon(int size) {
    return paint(size, [](QPainter& p, double s) {
        QLinearGradient fill(0, 0, s, s);
        fill.setColorAt(0, QColor(38, 70, 140));
        fill.setColorAt(1, QColor(18, 24, 48));
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.2, s * 0.2);
        // A source in the middle and the waves it sends out to four sides.
        const QPointF centre(s / 2, s / 2);
        p.setBrush(QColor(255, 196, 64));
        p.drawEllipse(centre, s * 0.09, s * 0.09);
        p.setBrush(Qt::NoBrush);
        for (int ring = 1; ring <= 3; ++ring) {
            const double r = s * (0.13 + 0.09 * ring);
            p.setPen(roundPen(QColor(255, 255, 255, 230 - ring * 50), s * 0.035));
            for (int quadrant = 0; quadrant < 4; ++quadrant)
                p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), (quadrant * 90 + 20) * 16,
                          50 * 16);
        }
    });
}

QPixmap splashImage(int size) {
    return paint(size, [](QPainter& p, double s) {
        // A stage plan: the audience arc, loudspeakers around it and a source moving across.
        p.setPen(roundPen(QColor(255, 255, 255, 90), s * 0.02));
        p.drawArc(QRectF(s * 0.1, s * 0.35, s * 0.8, s * 0.8), 20 * 16, 140 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(120, 200, 255));
        for (double x : {0.15, 0.38, 0.62, 0.85})
            p.drawRect(QRectF(s * x - s * 0.05, s * 0.12, s * 0.1, s * 0.07));
        p.setBrush(QColor(255, 196, 64));
        p.drawEllipse(QPointF(s * 0.5, s * 0.55), s * 0.07, s * 0.07);
        QPainterPath path;
        path.moveTo(s * 0.2, s * 0.72);
        path.cubicTo(s * 0.35, s * 0.45, s * 0.65, s * 0.8, s * 0.8, s * 0.5);
        p.setBrush(Qt::NoBrush);
        QPen dashed = roundPen(QColor(255, 196, 64, 160), s * 0.02);
        dashed.setStyle(Qt::DashLine);
        p.setPen(dashed);
        p.drawPath(path);
    });
}

QIcon magnifyingGlass(QColor colour) {
    return drawnIcon([colour](QPainter& p, double s) {
        p.setPen(roundPen(colour, s * 0.1));
        p.drawEllipse(QRectF(s * 0.15, s * 0.15, s * 0.5, s * 0.5));
        p.drawLine(QPointF(s * 0.58, s * 0.58), QPointF(s * 0.85, s * 0.85));
    });
}

QIcon sidebarToggle(QColor colour, bool forward) {
    return drawnIcon([colour, forward](QPainter& p, double s) {
        p.setPen(roundPen(colour, s * 0.07));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(s * 0.1, s * 0.2, s * 0.8, s * 0.6), s * 0.1, s * 0.1);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        const double tip = forward ? 0.7 : 0.3, back = forward ? 0.45 : 0.55;
        QPainterPath arrow;
        arrow.moveTo(s * tip, s * 0.5);
        arrow.lineTo(s * back, s * 0.35);
        arrow.lineTo(s * back, s * 0.65);
        arrow.closeSubpath();
        p.drawPath(arrow);
        p.drawRect(QRectF(s * (forward ? 0.32 : 0.6), s * 0.35, s * 0.08, s * 0.3));
    });
}

QIcon mixerSliders(QColor colour) {
    return drawnIcon([colour](QPainter& p, double s) {
        const double ys[] = {0.25, 0.5, 0.75};
        const double knobs[] = {0.65, 0.35, 0.55};
        for (int i = 0; i < 3; ++i) {
            p.setPen(roundPen(colour, s * 0.07));
            p.drawLine(QPointF(s * 0.12, s * ys[i]), QPointF(s * 0.88, s * ys[i]));
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            p.drawEllipse(QPointF(s * knobs[i], s * ys[i]), s * 0.09, s * 0.09);
        }
    });
}

QIcon audienceAreaEdit(QColor colour) {
    return drawnIcon([colour](QPainter& p, double s) {
        p.setPen(roundPen(colour, s * 0.07));
        const double a = s * 0.12, b = s * 0.88, c = s * 0.22;
        for (auto [x, y, dx, dy] : {std::tuple{a, a, 1, 1}, {b, a, -1, 1}, {a, b, 1, -1}, {b, b, -1, -1}}) {
            p.drawLine(QPointF(x, y), QPointF(x + dx * c, y));
            p.drawLine(QPointF(x, y), QPointF(x, y + dy * c));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QPointF(s * 0.5, s * 0.38), s * 0.11, s * 0.11);
        QPainterPath body;
        body.moveTo(s * 0.3, s * 0.72);
        body.cubicTo(s * 0.3, s * 0.5, s * 0.7, s * 0.5, s * 0.7, s * 0.72);
        body.closeSubpath();
        p.drawPath(body);
    });
}

QPixmap northArrowCircle(int size, QColor colour) {
    return paint(size, [colour](QPainter& p, double s) {
        p.setPen(roundPen(colour, s * 0.07));
        p.drawEllipse(QRectF(s * 0.05, s * 0.05, s * 0.9, s * 0.9));
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        QPainterPath arrow;
        arrow.moveTo(s * 0.5, s * 0.2);
        arrow.lineTo(s * 0.72, s * 0.75);
        arrow.lineTo(s * 0.5, s * 0.62);
        arrow.lineTo(s * 0.28, s * 0.75);
        arrow.closeSubpath();
        p.drawPath(arrow);
    });
}

} // namespace symbols
