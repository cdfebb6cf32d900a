#include "Sonavant/ui/SpeakerOverlayGeometry.h"

#include <cmath>

namespace {
constexpr double degreesToRadians = 0.017453292519943295;
constexpr double threeQuarterPi = 2.356194490192345;

Point along(Point p, double length, double angle) {
    return {p.x + length * std::cos(angle), p.y + length * std::sin(angle)};
}
} // namespace

double SpeakerOverlayGeometry::orientationOffsetDegrees(CanvasOrientation orientation) {
    return speakerFocusZeroDegrees(orientation);
}

double SpeakerOverlayGeometry::directionRadians(CanvasOrientation orientation, double focus) {
    return (orientationOffsetDegrees(orientation) + focus) * degreesToRadians;
}

SpeakerOverlayGeometry::ArrowHead SpeakerOverlayGeometry::arrowHead(Point at, double angle, double size,
                                                                    double offset) {
    const Point base = along(at, offset, angle);
    return {along(base, 0.7 * size, angle), along(base, 1.5 * size, angle + threeQuarterPi),
            along(base, 1.5 * size, angle - threeQuarterPi)};
}

Point SpeakerOverlayGeometry::dottedLineEnd(Point from, double length, double angle) {
    return along(from, length, angle);
}

SpeakerOverlayGeometry::Cone SpeakerOverlayGeometry::coverageCone(Point centre, double widthDegrees,
                                                                  double radius, double rotation) {
    const double half = widthDegrees * 0.5 * degreesToRadians;
    return {centre, radius, rotation - half, rotation + half};
}

Point SpeakerOverlayGeometry::focusHandleCentre(Point centre, double radius, double angle) {
    return along(centre, radius, angle);
}

SpeakerOverlayGeometry SpeakerOverlayGeometry::of(const Speaker& speaker, bool isSelected,
                                                  CanvasOrientation orientation, bool showArrow,
                                                  bool showCoverage, double radius) {
    SpeakerOverlayGeometry g;
    g.showsCone = showCoverage;
    g.showsArrow = showArrow;
    g.showsHandle = showArrow && isSelected;
    g.direction = directionRadians(orientation, speaker.focus);
    g.cone = coverageCone(speaker.position, speaker.width, radius, g.direction);
    g.lineStart = speaker.position;
    g.lineEnd = dottedLineEnd(speaker.position, radius, g.direction);
    g.arrow = arrowHead(speaker.position, g.direction, arrowSize, arrowOffset);
    g.handleCentre = focusHandleCentre(speaker.position, radius * 0.5, g.direction);
    return g;
}
