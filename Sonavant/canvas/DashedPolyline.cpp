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
    double perCycle;          // 1 / cycle
    QRgb covered[256];        // the colour at each cover
};

// Four pixels at a time (the compiler's vector types: SSE on x86-64, scalar code elsewhere).
using Lanes = float __attribute__((vector_size(16)));
using IntLanes = int __attribute__((vector_size(16)));

inline Lanes least(Lanes a, Lanes b) {
    return a < b ? a : b;
}
inline Lanes most(Lanes a, Lanes b) {
    return a > b ? a : b;
}

// One segment from a to b (pixels), its start at `phase` into the pattern. A pixel's cover is
// the part of its square's width across the line that the stroke covers, times the part of
// its length along the line that lies on a dash and on this segment.
void segment(QImage& image, QPointF a, QPointF b, double phase, const Pattern& p) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double length = std::hypot(dx, dy);
    // Clipping can leave nothing of a segment that only grazes the image.
    if (!(length > 0))
        return;
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
    constexpr int ahead = 8;
    const double perRow = std::abs(dy) > 1e-9 ? dx / dy : 0;
    const bool flatAcross = std::abs(nx) < 1e-9, flatAlong = std::abs(ux) < 1e-9;
    const double perAcross = flatAcross ? 0 : 1 / nx, perAlong = flatAlong ? 0 : 1 / ux;
    for (int y = top; y <= bottom; ++y) {
        const double cy = y + 0.5 - a.y();
        // Pixel centres x + 0.5 with |across| < half + 0.5 and -0.5 < along < length + 0.5:
        // each linear in x, so the row's pixels are one run.
        double x0 = left, x1 = right;
        auto within = [&](double base, bool flat, double inverse, double lo, double hi) {
            if (flat) {
                if (base <= lo || base >= hi)
                    x1 = -1;
                return;
            }
            double u = (lo - base) * inverse, v = (hi - base) * inverse;
            if (u > v)
                std::swap(u, v);
            x0 = std::max(x0, u + a.x() - 0.5);
            x1 = std::min(x1, v + a.x() - 0.5);
        };
        within(cy * ny, flatAcross, perAcross, -reach, reach);
        within(cy * uy, flatAlong, perAlong, -0.5, length + 0.5);
        if (!(x0 <= x1))
            continue;
        // Both within [0, w - 1]: rounded up and down by conversion.
        const int from = int(x0) + (int(x0) < x0), to = int(x1);
        if (from > to)
            continue;
        quint32* out = bits + std::ptrdiff_t(y) * stride;
        // A steep segment reaches a new line of memory on every row: ask for the one a few
        // rows on while this row is drawn.
        if (y + ahead <= bottom)
            __builtin_prefetch(out + ahead * stride + int(std::clamp(from + ahead * perRow, 0.0, w - 1.0)),
                               1);
        const double cx = double(from) + 0.5 - a.x();
        // Across and along at the run's first pixel, and the rest of the pattern in the same
        // floats. Across, the cover is the part of the pixel's width within the stroke; along,
        // the part of [lo, hi] (the pixel on this segment) that lies on a dash.
        const Lanes d0 = Lanes{} + float(cx * nx + cy * ny), s0 = Lanes{} + float(cx * ux + cy * uy);
        const Lanes stepX = Lanes{} + float(nx), stepS = Lanes{} + float(ux);
        const Lanes half = Lanes{} + float(p.half), end = Lanes{} + float(length);
        const Lanes start = Lanes{} + float(phase), dash = Lanes{} + float(p.dash);
        const Lanes cycle = Lanes{} + float(p.cycle), perCycle = Lanes{} + float(p.perCycle);
        const Lanes zero{}, one = zero + 1, mid = zero + 0.5f;
        const int first = from, last = to;
        for (int x = first; x <= last; x += 4) {
            const Lanes i = Lanes{0, 1, 2, 3} + float(x - first);
            const Lanes d = d0 + i * stepX, s = s0 + i * stepS;
            const Lanes wide = most(least(least(d + mid, half) - most(d - mid, -half), one), zero);
            const Lanes lo = most(s - mid, zero), span = most(least(s + mid, end), lo) - lo;
            const Lanes q = lo + start;
            const Lanes r =
                q - __builtin_convertvector(__builtin_convertvector(q * perCycle, IntLanes), Lanes) * cycle;
            const Lanes along =
                most(least(r + span, dash) - r, zero) + most(least(r + span, cycle + dash) - cycle, zero);
            const IntLanes cover = __builtin_convertvector(wide * along * 255.0f + mid, IntLanes);
            // Where the cover is nought the pixel is written back as it was: no branches.
            for (int k = 0; k < 4 && x + k <= last; ++k)
                out[x + k] = pixelblend::over(p.covered[std::clamp(int(cover[k]), 0, 255)], out[x + k]);
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
    Pattern pattern{on * scale, period * scale, width * scale / 2, 1 / (period * scale), {}};
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
