#include "Sonavant/shell/OrientationIndicator.h"

#include "platform/qt/Symbols.h"

#include <QPainter>
#include <QPainterPath>

#include <numbers>

OrientationIndicator::OrientationIndicator(QWidget* parent) : QWidget(parent) {
    setFixedSize(40, 40);
    setAttribute(Qt::WA_TranslucentBackground);
}

void OrientationIndicator::setOrientation(CanvasOrientation orientation) {
    orientation_ = orientation;
    update();
}

double OrientationIndicator::angle(CanvasOrientation orientation) {
    constexpr double pi = std::numbers::pi;
    switch (orientation) {
    case CanvasOrientation::top:
        return 0;
    case CanvasOrientation::right:
        return pi / 2;
    case CanvasOrientation::bottom:
        return pi;
    case CanvasOrientation::left:
        return 3 * pi / 2;
    }
    return 0;
}

void OrientationIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath circle;
    circle.addEllipse(QRectF(rect()));
    p.setClipPath(circle);
    p.fillPath(circle, QColor(0, 0, 0, 77));
    p.translate(width() / 2.0, height() / 2.0);
    p.rotate(angle(orientation_) * 180.0 / std::numbers::pi);
    p.setOpacity(0.6);
    p.drawPixmap(QRect(-12, -12, 24, 24), symbols::northArrowCircle(48));
}
