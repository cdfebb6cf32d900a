#include "Sonavant/model/CanvasGeometry.h"

#include <cmath>

namespace {
double finiteOr(double v, double fallback) {
    return std::isfinite(v) ? v : fallback;
}
} // namespace

double effectiveZoom(double zoom) {
    return std::isfinite(zoom) && zoom > 0 ? zoom : defaultZoom;
}

Point metresToCanvas(CanvasOrientation orientation, double x, double y, double zoom, double centreX,
                     double centreY) {
    zoom = effectiveZoom(zoom);
    x = finiteOr(x, 0);
    y = finiteOr(y, 0);
    centreX = finiteOr(centreX, 0);
    centreY = finiteOr(centreY, 0);

    // Sine and cosine of the table angle at run time: quarter turns keep residues near 1e-13.
    const double theta = forwardAngle(orientation);
    const double s = std::sin(theta), c = std::cos(theta);
    const double a = (x * zoom + centreX) - centreX;
    const double b = (centreY - y * zoom) - centreY;
    return {finiteOr(a * c - b * s + centreX, centreX), finiteOr(a * s + b * c + centreY, centreY)};
}

Point canvasToMetres(CanvasOrientation orientation, double px, double py, double zoom, double centreX,
                     double centreY) {
    zoom = effectiveZoom(zoom);
    centreX = finiteOr(centreX, 0);
    centreY = finiteOr(centreY, 0);
    px = finiteOr(px, centreX);
    py = finiteOr(py, centreY);

    const double theta = inverseAngle(orientation);
    const double s = std::sin(theta), c = std::cos(theta);
    const double dx = px - centreX, dy = py - centreY;
    const double rx = dx * c - dy * s;
    const double ry = dx * s + dy * c;
    return {finiteOr(((rx + centreX) - centreX) / zoom, 0), finiteOr((centreY - (ry + centreY)) / zoom, 0)};
}

Point metresToCanvasUnturned(double x, double y, double zoom, Point zeroPoint) {
    zoom = effectiveZoom(zoom);
    const double zx = finiteOr(zeroPoint.x, 0), zy = finiteOr(zeroPoint.y, 0);
    return {finiteOr(finiteOr(x, 0) * zoom + zx, zx), finiteOr(zy - finiteOr(y, 0) * zoom, zy)};
}

double polylineLength(const std::vector<Point>& points) {
    double length = 0;
    for (std::size_t i = 1; i < points.size(); ++i)
        length += std::hypot(points[i].x - points[i - 1].x, points[i].y - points[i - 1].y);
    return length;
}
