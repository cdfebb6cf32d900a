#include "Sonavant/ui/CanvasMarkerGeometry.h"

#include "Sonavant/model/CanvasGeometry.h"
#include "platform/NumberText.h"

#include <cmath>
#include <numbers>

Point CanvasMarkerGeometry::offCanvasMarkerPosition(Point item, double w, double h) {
    const double x = item.x, y = item.y;
    double cx = x <= 0 ? 0 : (x > w ? w : x);
    double cy = y <= 0 ? 0 : (y > h ? h : y);
    if (x < 0)
        cx = 6;
    else if (x > w)
        cx = w - 6;
    else
        cy = y < 0 ? 6 : h - 6;
    return {cx, cy};
}

double CanvasMarkerGeometry::rangeCircleDiameter(double range, double zoom) {
    return 2 * (range * effectiveZoom(zoom) + 15);
}

CanvasMarkerGeometry::SoundscapeMarker
CanvasMarkerGeometry::soundscapeSpeakerMarker(const SoundscapeSpeaker& speaker, CanvasOrientation orientation,
                                              double zoom, Point zeroPoint) {
    using platform::numberText;
    SoundscapeMarker marker;
    // Reported in the DS100's frame: drawn where a source it reports at the same spot is.
    marker.position = metresToCanvas(orientation, ds100ToShowMetres(speaker.x, speaker.y), zoom, zeroPoint);

    static constexpr double angles[] = {0, 90, 180, 270};
    static constexpr const char* names[] = {"Top", "Right", "Bottom", "Left"};
    const double angle = angles[int(orientation)];
    const double pi = std::numbers::pi;
    const double a = ds100ToShowDegrees(speaker.rotation) * pi / 180;
    const double b = angle * pi / -180;
    const double dx = std::cos(a), dy = std::sin(a);
    const double tx = dx * std::cos(b) - dy * std::sin(b);
    const double ty = dx * std::sin(b) + dy * std::cos(b);
    marker.adjustedAngle = std::atan2(ty, tx) * -180 / pi;
    marker.logEntry = "🧭 Speaker " + std::to_string(speaker.speakerNumber) +
                      ":\n    Raw rotation: " + numberText(speaker.rotation) +
                      "\n    Canvas orientation: " + names[int(orientation)] + " → " + numberText(angle) +
                      "°\n    Direction vector: dx=" + numberText(dx) + ", dy=" + numberText(dy) +
                      "\n    Rotated vector:  dx=" + numberText(tx) + ", dy=" + numberText(ty) +
                      "\n    Final adjusted angle: " + numberText(marker.adjustedAngle) + "°";
    return marker;
}
