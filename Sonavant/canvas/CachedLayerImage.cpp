#include "Sonavant/canvas/CachedLayerImage.h"

#include <QPaintDevice>

#include <cmath>

void CachedLayerImage::paint(QPainter& painter, const QSizeF& canvasSize, std::vector<double> key,
                             const std::function<void(QPainter&)>& draw) {
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    key.push_back(canvasSize.width());
    key.push_back(canvasSize.height());
    key.push_back(ratio);
    const QSize pixels(int(std::ceil(canvasSize.width() * ratio)),
                       int(std::ceil(canvasSize.height() * ratio)));
    if (pixels.isEmpty())
        return;
    if (image_.isNull() || key != key_) {
        key_ = std::move(key);
        image_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image_.setDevicePixelRatio(ratio);
        image_.fill(Qt::transparent);
        QPainter layer(&image_);
        layer.setRenderHints(painter.renderHints());
        layer.setFont(painter.font());
        draw(layer);
    }
    painter.drawImage(QRectF(QPointF(0, 0), canvasSize), image_);
}
