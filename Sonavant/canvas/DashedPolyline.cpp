#include "Sonavant/canvas/DashedPolyline.h"

#include "Sonavant/canvas/PixelBlend.h"

#include <QImage>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace dashedpolyline {

namespace {

bool finite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// The part of a..b within `box`, as the fractions t0..t1 of the way from a to b; false for none.
bool clip(QPointF a, QPointF b, const QRectF& box, double& t0, double& t1) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double toward[4] = {-dx, dx, -dy, dy};
    const double room[4] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(), box.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (toward[i] == 0) {
            if (room[i] < 0)
                return false;
            continue;
        }
        const double t = room[i] / toward[i];
        if (toward[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    return t0 < t1;
}

struct Pattern {
    double dash, cycle, half; // in pixels
    QRgb covered[256];        // the colour at each cover
};

// The length of [0, x] (x >= 0) that lies on dashes, the pattern starting with a dash at 0.
inline double inked(double x, const Pattern& p) {
    const double whole = double(qint64(x / p.cycle));
    return whole * p.dash + std::min(x - whole * p.cycle, p.dash);
}

// One segment from a to b (pixels), its start at `phase` into the pattern. A pixel's cover is
// the part of its square's width across the line that the stroke covers, times the part of
// its length along the line that lies on a dash and on this segment.
void segment(QImage& image, QPointF a, QPointF b, double phase, const Pattern& p) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double length = std::hypot(dx, dy);
    const double ux = dx / length, uy = dy / length; // along
    const double nx = -uy, ny = ux;                  // across
    const double reach = p.half + 0.5;
    const int w = image.width(), h = image.height();
    const int top = std::max(0, int(std::floor(std::min(a.y(), b.y()) - reach)));
    const int bottom = std::min(h - 1, int(std::ceil(std::max(a.y(), b.y()) + reach)));
    const double left = std::max(0.0, std::floor(std::min(a.x(), b.x()) - reach));
    const double right = std::min(w - 1.0, std::ceil(std::max(a.x(), b.x()) + reach));
    if (top > bottom || left > right)
        return;
    const int stride = int(image.bytesPerLine() / 4);
    quint32* bits = reinterpret_cast<quint32*>(image.bits());
    for (int y = top; y <= bottom; ++y) {
        const double cy = y + 0.5 - a.y();
        // Pixel centres x + 0.5 with |across| < half + 0.5 and -0.5 < along < length + 0.5:
        // each linear in x, so the row's pixels are one run.
        double from = left, to = right;
        auto within = [&](double base, double slope, double lo, double hi) {
            if (std::abs(slope) < 1e-9) {
                if (base <= lo || base >= hi)
                    to = from - 1;
                return;
            }
            double x0 = (lo - base) / slope + a.x() - 0.5, x1 = (hi - base) / slope + a.x() - 0.5;
            if (x0 > x1)
                std::swap(x0, x1);
            from = std::max(from, std::ceil(x0));
            to = std::min(to, std::floor(x1));
        };
        within(cy * ny, nx, -reach, reach);
        within(cy * uy, ux, -0.5, length + 0.5);
        if (from > to)
            continue;
        quint32* out = bits + std::ptrdiff_t(y) * stride;
        const double cx = from + 0.5 - a.x();
        double d = cx * nx + cy * ny, s = cx * ux + cy * uy;
        for (int x = int(from); x <= int(to); ++x, d += nx, s += ux) {
            // No branches: where the cover is nought the pixel is written back as it was.
            const double wide = std::clamp(std::min(d + 0.5, p.half) - std::max(d - 0.5, -p.half), 0.0, 1.0);
            const double lo = std::max(s - 0.5, 0.0), hi = std::max(std::min(s + 0.5, length), lo);
            const double along = inked(hi + phase, p) - inked(lo + phase, p);
            const quint32 source = p.covered[std::clamp(int(wide * along * 255 + 0.5), 0, 255)];
            out[x] = pixelblend::over(source, out[x]);
        }
    }
}

} // namespace

QVector<QLineF> dashes(const QPolygonF& nodes) {
    QVector<QLineF> lines;
    double along = 0;
    for (qsizetype i = 1; i < nodes.size(); ++i) {
        const QPointF a = nodes[i - 1], b = nodes[i];
        const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
        if (!(length > 0) || !std::isfinite(length))
            continue;
        const double ux = (b.x() - a.x()) / length, uy = (b.y() - a.y()) / length;
        // From the start of the dash the segment begins in.
        for (double t = -std::fmod(along, period); t < length; t += period) {
            const double from = std::max(t, 0.0), to = std::min(t + on, length);
            if (to > from)
                lines.append(QLineF(a.x() + ux * from, a.y() + uy * from, a.x() + ux * to, a.y() + uy * to));
        }
        along += length;
    }
    return lines;
}

void drawInto(QImage& image, const QTransform& toPixels, const QPolygonF& nodes, QRgb colour) {
    const double scale = toPixels.m11();
    if (image.format() != QImage::Format_ARGB32_Premultiplied || !(scale > 0) ||
        toPixels.type() > QTransform::TxScale || toPixels.m22() != scale)
        return;
    Pattern pattern{on * scale, period * scale, width * scale / 2, {}};
    for (quint32 cover = 0; cover < 256; ++cover)
        pattern.covered[cover] = pixelblend::scaled(colour, cover);
    const double margin = pattern.half + 2;
    const QRectF box(-margin, -margin, image.width() + 2 * margin, image.height() + 2 * margin);
    double along = 0; // in points, so that the pattern matches the lines above at any scale
    for (qsizetype i = 1; i < nodes.size(); ++i) {
        const QPointF a = nodes[i - 1], b = nodes[i];
        const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
        if (!(length > 0) || !std::isfinite(length) || !finite(a))
            continue;
        // Only the part near the image is drawn, so that a node far off it costs nothing and
        // every pixel position stays a small number.
        const QPointF pa = toPixels.map(a), pb = toPixels.map(b);
        double t0 = 0, t1 = 1;
        if (finite(pa) && finite(pb) && std::isfinite(length * scale) && clip(pa, pb, box, t0, t1))
            segment(image, pa + t0 * (pb - pa), pa + t1 * (pb - pa),
                    std::fmod(std::fmod(along, period) + t0 * length, period) * scale, pattern);
        along += length;
    }
}

void draw(QPainter& painter, const QPolygonF& nodes, const QColor& colour) {
    QPaintDevice* device = painter.device();
    const QTransform toPixels = painter.deviceTransform();
    if (device && device->devType() == QInternal::Image && !painter.hasClipping() &&
        painter.compositionMode() == QPainter::CompositionMode_SourceOver && painter.opacity() == 1 &&
        toPixels.type() <= QTransform::TxScale && toPixels.m11() == toPixels.m22() &&
        static_cast<QImage*>(device)->format() == QImage::Format_ARGB32_Premultiplied) {
        drawInto(*static_cast<QImage*>(device), toPixels, nodes, qPremultiply(colour.rgba()));
        return;
    }
    QPen pen(colour, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10.0);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawLines(dashes(nodes));
    painter.restore();
}

} // namespace dashedpolyline
