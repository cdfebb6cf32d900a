#include "Sonavant/ui/FloorPlanPlacement.h"

#include "Sonavant/engine/BackgroundImageBookmark.h"

#include <cmath>

namespace {
bool positiveFinite(double v) {
    return std::isfinite(v) && v > 0;
}
double finiteOrZero(double v) {
    return std::isfinite(v) ? v : 0;
}
} // namespace

std::optional<FloorPlanPlacement> floorPlanPlacement(ViewSize naturalSize, double scale, double zoom,
                                                     Point zeroPoint, Point offset, double rotation) {
    if (!positiveFinite(naturalSize.width) || !positiveFinite(naturalSize.height) || !positiveFinite(scale) ||
        !positiveFinite(zoom) || !std::isfinite(zeroPoint.x) || !std::isfinite(zeroPoint.y))
        return std::nullopt;
    const double k = scale * zoom / 100.0;
    FloorPlanPlacement placement;
    placement.size = {naturalSize.width * k, naturalSize.height * k};
    placement.centre = {zeroPoint.x + finiteOrZero(offset.x) / 10.0 * zoom,
                        zeroPoint.y + finiteOrZero(offset.y) / 10.0 * zoom};
    placement.rotation = finiteOrZero(rotation);
    if (!positiveFinite(placement.size.width) || !positiveFinite(placement.size.height) ||
        !std::isfinite(placement.centre.x) || !std::isfinite(placement.centre.y))
        return std::nullopt;
    return placement;
}

std::optional<std::string> floorPlanFile(bool showBackgroundImage, const std::optional<std::string>& url) {
    if (!showBackgroundImage || !url)
        return std::nullopt;
    return BackgroundImageBookmark::filePath(*url);
}
