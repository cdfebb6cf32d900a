#include "Sonavant/canvas/RangeRingStamp.h"

#include "Sonavant/canvas/PixelBlend.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

void RangeRingStamp::prepare(double radius, qreal ratio, int alpha) {
    if (radius == radius_ && ratio == ratio_ && alpha == alpha_)
        return;
    radius_ = radius;
    ratio_ = ratio;
    alpha_ = alpha;
    runs_.clear();
    alphas_.clear();
    if (!(radius > 0) || !std::isfinite(radius) || !(ratio > 0))
        return;
    half_ = int(std::ceil((radius + 1) * ratio)) + 2;
    // Rings wider than any screen are not drawn at all.
    if (half_ > 20000)
        return;
    const int side = 2 * half_ + 1;
    // One row at a time would save memory but not time; a ring of a few thousand pixels
    // across is drawn once per radius.
    QImage ring(side, side, QImage::Format_Alpha8);
    ring.fill(0);
    {
        QPainter painter(&ring);
        painter.setRenderHint(QPainter::Antialiasing);
        // A 2-point line as two 1-pixel cosmetic rings half a point either side: the raster
        // engine strokes wide antialiased curves of this size an order of magnitude slower.
        QPen pen(QColor(255, 255, 255, alpha), 1);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const QPointF centre(half_ + 0.5, half_ + 0.5);
        painter.drawEllipse(centre, (radius - 0.5) * ratio, (radius - 0.5) * ratio);
        painter.drawEllipse(centre, (radius + 0.5) * ratio, (radius + 0.5) * ratio);
    }
    // Only the band between the inner and the outer ring, with a pixel to spare, is looked at.
    const double inner = std::max(0.0, (radius - 0.5) * ratio - 2), outer = (radius + 0.5) * ratio + 2;
    for (int y = 0; y < side; ++y) {
        const uchar* row = ring.constScanLine(y);
        const double dy = std::abs(y - half_);
        const double far = dy < outer ? std::sqrt(outer * outer - dy * dy) : -1;
        const double near = dy < inner ? std::sqrt(inner * inner - dy * dy) - 1 : 0;
        if (far < 0)
            continue;
        // Left of the centre, then right of it.
        const int spans[2][2] = {{std::max(0, int(half_ - far)), std::min(side, int(half_ - near) + 1)},
                                 {std::max(0, int(half_ + near)), std::min(side, int(half_ + far) + 2)}};
        for (int part = 0; part < 2; ++part) {
            const int from = part == 1 ? std::max(spans[1][0], spans[0][1]) : spans[0][0];
            for (int x = from; x < spans[part][1];) {
                if (!row[x]) {
                    ++x;
                    continue;
                }
                Run run{y - half_, x - half_, 0, alphas_.size()};
                for (; x < spans[part][1] && row[x]; ++x)
                    alphas_.push_back(row[x]);
                run.length = int(alphas_.size() - run.offset);
                runs_.push_back(run);
            }
        }
    }
}

bool RangeRingStamp::touches(QPointF centre, QSizeF size) const {
    const double reach = half_ / ratio_;
    return !runs_.empty() && centre.x() + reach >= 0 && centre.y() + reach >= 0 &&
           centre.x() - reach <= size.width() && centre.y() - reach <= size.height();
}

void RangeRingStamp::stamp(QImage& image, QPointF centre) const {
    if (runs_.empty() || image.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    if (!std::isfinite(centre.x()) || !std::isfinite(centre.y()))
        return;
    const double px = std::floor(centre.x() * ratio_), py = std::floor(centre.y() * ratio_);
    const int w = image.width(), h = image.height();
    if (px + half_ < 0 || py + half_ < 0 || px - half_ >= w || py - half_ >= h)
        return;
    const int cx = int(px), cy = int(py);
    const int stride = int(image.bytesPerLine() / 4);
    quint32* bits = reinterpret_cast<quint32*>(image.bits());
    for (const Run& run : runs_) {
        const int y = cy + run.dy;
        if (y < 0 || y >= h)
            continue;
        int x0 = cx + run.dx, skip = 0, length = run.length;
        if (x0 < 0) {
            skip = -x0;
            x0 = 0;
        }
        if (x0 + (length - skip) > w)
            length = w - x0 + skip;
        quint32* out = bits + std::ptrdiff_t(y) * stride + x0;
        const std::uint8_t* a = alphas_.data() + run.offset;
        for (int i = skip; i < length; ++i, ++out) {
            // Premultiplied white at alpha s over the pixel.
            const quint32 s = a[i];
            *out = pixelblend::over(s * 0x01010101u, *out);
        }
    }
}
