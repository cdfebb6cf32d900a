#pragma once
// A polyline as dashes, 5 points on and 3 off, carried on from one segment to the next, 2
// points wide with flat ends: the path cues' line. Qt strokes each of the thousands of short
// antialiased dashes of a few long cues as a path of its own; laid straight into the image,
// a pixel's cover worked out from its distance across and along the segment, they cost a
// small fraction of that.

#include <QColor>
#include <QLineF>
#include <QPolygonF>
#include <QVector>

class QImage;
class QPainter;
class QTransform;

namespace dashedpolyline {

inline constexpr double on = 5, period = 8, width = 2;

// The dashes as plain lines, in the polyline's coordinates.
QVector<QLineF> dashes(const QPolygonF& nodes);

// Draws the dashes in `colour` (alpha included), source over, with `painter`: straight into
// the image it paints on when that is possible, with the painter's own strokes otherwise.
void draw(QPainter& painter, const QPolygonF& nodes, const QColor& colour);

// The direct drawing: `nodes` in points, mapped to pixels by `toPixels` (a translation
// with one uniform scale), `colour` premultiplied. Segments or parts of them outside the
// image cost nothing.
void drawInto(QImage& image, const QTransform& toPixels, const QPolygonF& nodes, QRgb colour);

} // namespace dashedpolyline
