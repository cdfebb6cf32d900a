#include "Sonavant/engine/AudienceFactors.h"

#include "Sonavant/model/CanvasGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace {

// The aim of focus 0 on the canvas, per orientation.
double aimOffset(CanvasOrientation orientation) {
    switch (orientation) {
    case CanvasOrientation::top:
        return 90;
    case CanvasOrientation::right:
        return 180;
    case CanvasOrientation::bottom:
        return -90;
    case CanvasOrientation::left:
        return 0;
    }
    return 0;
}

} // namespace

AudienceFactorLimits focusFactorLimits(double width) {
    return {0.5 * width, 0.7 * width};
}

AudienceFactorLimits coverageFactorLimits(double width) {
    return {0.52 * width, 110};
}

std::vector<Point> audienceNodeCanvasPoints(const std::vector<AudienceArea>& areas,
                                            CanvasOrientation orientation, double zoom, Point zeroPoint) {
    std::vector<Point> nodes;
    for (const auto& area : areas)
        for (const auto& node : area.nodesMeters)
            nodes.push_back(metresToCanvas(orientation, node, zoom, zeroPoint));
    return nodes;
}

namespace {

bool pointsNowhere(const Speaker& speaker) {
    return !std::isfinite(speaker.focus) || !std::isfinite(speaker.width) ||
           !std::isfinite(speaker.position.x) || !std::isfinite(speaker.position.y);
}

double aimOf(const Speaker& speaker, CanvasOrientation orientation) {
    double aim = speaker.focus + aimOffset(orientation);
    // A remote focus may be any number; stepping by whole turns alone would never end.
    if (std::fabs(aim) > 720)
        aim = std::fmod(aim, 360.0);
    while (aim <= -180)
        aim += 360;
    while (aim > 180)
        aim -= 360;
    return aim;
}

// Degrees between the aim and the bearing of a node, 0 to 180.
double offAim(double aim, const Speaker& speaker, Point node) {
    const double bearing =
        std::atan2(node.y - speaker.position.y, node.x - speaker.position.x) * 180 / std::numbers::pi;
    double diff = aim - bearing;
    while (diff < -180)
        diff += 360;
    while (diff > 180)
        diff -= 360;
    return std::fabs(diff);
}

// The factor of the nearest angle, once no node lay within `inner`.
double fromNearest(double nearest, AudienceFactorLimits limits) {
    if (nearest > limits.outer)
        return 0.0;
    if (nearest <= limits.inner)
        return 1.0;
    return std::max(0.0, 1 - (nearest - limits.inner) / (limits.outer - limits.inner));
}

} // namespace

double audienceFactor(const Speaker& speaker, CanvasOrientation orientation, const std::vector<Point>& nodes,
                      AudienceFactorLimits limits) {
    if (pointsNowhere(speaker))
        return 0.0;
    const double aim = aimOf(speaker, orientation);
    double nearest = 180;
    for (const Point& node : nodes) {
        const double delta = offAim(aim, speaker, node);
        if (delta <= limits.inner)
            return 1.0;
        nearest = std::min(nearest, delta);
    }
    return fromNearest(nearest, limits);
}

std::pair<double, double> audienceFactors(const Speaker& speaker, CanvasOrientation orientation,
                                          const std::vector<Point>& nodes, AudienceFactorLimits first,
                                          AudienceFactorLimits second) {
    if (pointsNowhere(speaker))
        return {0.0, 0.0};
    const double aim = aimOf(speaker, orientation);
    // A factor is settled at the first node within its inner angle; until both are, each
    // keeps its own nearest angle of the nodes before.
    std::optional<double> a, b;
    double nearestA = 180, nearestB = 180;
    for (const Point& node : nodes) {
        const double delta = offAim(aim, speaker, node);
        if (!a) {
            if (delta <= first.inner)
                a = 1.0;
            else
                nearestA = std::min(nearestA, delta);
        }
        if (!b) {
            if (delta <= second.inner)
                b = 1.0;
            else
                nearestB = std::min(nearestB, delta);
        }
        if (a && b)
            break;
    }
    return {a.value_or(fromNearest(nearestA, first)), b.value_or(fromNearest(nearestB, second))};
}
