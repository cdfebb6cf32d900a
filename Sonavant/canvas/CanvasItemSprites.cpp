#include "Sonavant/canvas/CanvasItemSprites.h"

#include <QPaintDevice>
#include <QPainter>
#include <QRadialGradient>

namespace {

QString keyOf(const CanvasItemSprites::Look& look, qreal ratio) {
    return QStringLiteral("%1/%2/%3/%4/%5/%6")
        .arg(look.colour)
        .arg(look.hasOutline ? qint64(look.outline) : -1)
        .arg(look.ringRadius)
        .arg(look.number)
        .arg(ratio);
}

} // namespace

QImage CanvasItemSprites::render(const Look& look, qreal ratio) const {
    QImage image(QSize(2 * half, 2 * half) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(half, half);

    // Drop shadow, then the disc with its highlight from the top-left corner and faint ring.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 64));
    painter.drawEllipse(centre + QPointF(2, 2), 16.5, 16.5);
    painter.drawEllipse(centre + QPointF(2, 2), 15, 15);
    painter.setBrush(QColor::fromRgba(look.colour));
    painter.drawEllipse(centre, 15, 15);
    QRadialGradient highlight(centre - QPointF(15, 15), 15);
    highlight.setColorAt(0, QColor(255, 255, 255, 77));
    highlight.setColorAt(1, QColor(255, 255, 255, 0));
    painter.setBrush(highlight);
    painter.drawEllipse(centre, 15, 15);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 51), 2));
    painter.drawEllipse(centre, 14, 14);
    if (look.hasOutline) {
        painter.setPen(QPen(QColor::fromRgba(look.outline), 4));
        painter.drawEllipse(centre, 15, 15);
    }
    if (look.ringRadius > 0) {
        painter.setPen(QPen(Qt::white, 2));
        painter.drawEllipse(centre, look.ringRadius, look.ringRadius);
    }
    painter.setPen(Qt::white);
    painter.drawText(QRectF(centre - QPointF(15, 15), QSizeF(30, 30)), Qt::AlignCenter,
                     QString::number(look.number));
    return image;
}

void CanvasItemSprites::draw(QPainter& painter, QPointF centre, const Look& look) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QString key = keyOf(look, ratio);
    auto it = cache_.constFind(key);
    if (it == cache_.constEnd()) {
        if (cache_.size() > 1024) // numbers and colours come and go; keep the table bounded
            cache_.clear();
        it = cache_.insert(key, render(look, ratio));
    }
    painter.drawImage(centre - QPointF(half, half), *it);
}
