#pragma once
// Conversions between metres (x right, y up, relative to the zero point) and canvas points
// (x right, y down), turned about the zero point by the canvas orientation. Pure; callable
// from any thread.
//
// The results are always finite: a zoom that is not a positive finite number counts as
// defaultZoom, a non-finite coordinate counts as that of the zero point (a non-finite zero
// point as 0), and a result that overflows falls back to the zero point. A stored position must never hold
// NaN or infinity, because a show file holding one cannot be read back.

#include "Sonavant/model/CanvasOrientation.h"
#include "Sonavant/model/Geometry.h"

#include <vector>

// Canvas points per metre unless the operator zooms.
inline constexpr double defaultZoom = 100.0;

// The zoom the conversions actually use.
double effectiveZoom(double zoom);

Point metresToCanvas(CanvasOrientation orientation, double x, double y, double zoom, double centreX,
                     double centreY);
Point canvasToMetres(CanvasOrientation orientation, double px, double py, double zoom, double centreX,
                     double centreY);

inline Point metresToCanvas(CanvasOrientation orientation, Point metres, double zoom, Point centre) {
    return metresToCanvas(orientation, metres.x, metres.y, zoom, centre.x, centre.y);
}
inline Point canvasToMetres(CanvasOrientation orientation, Point canvas, double zoom, Point centre) {
    return canvasToMetres(orientation, canvas.x, canvas.y, zoom, centre.x, centre.y);
}

// Where a new object lands: the formula of orientation top, without the turn, with the
// same guards as above.
Point metresToCanvasUnturned(double x, double y, double zoom, Point zeroPoint);

// The DS100's frame: a source at (mx, my) metres goes to it as (-my, mx) (see the SoundScape
// send), so what it reports at (x, y) is at (y, -x) metres here, and its angles are a quarter
// turn (90 degrees) ahead of ours.
inline Point ds100ToShowMetres(double x, double y) {
    return {y, -x};
}
inline double ds100ToShowDegrees(double rotation) {
    return rotation - 90.0;
}

// Length of the open polyline through the points, in their own unit; 0 for fewer than two.
double polylineLength(const std::vector<Point>& points);
