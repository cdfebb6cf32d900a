#include "Sonavant/ui/MixerFaderMaths.h"

#include <algorithm>
#include <cmath>

namespace {

double clampTo(double value, const DeskRange& range) {
    return std::clamp(value, std::min(range.lower, range.upper), std::max(range.lower, range.upper));
}

} // namespace

DeskRange mixerFaderRange(const std::optional<MixingDesk>& desk, const std::string& sourceType,
                          const std::string& speakerType) {
    if (!desk)
        return mixerfader::fallbackRange;
    const DeskRoute route = routeDeskSend(*desk, sourceType, 0, speakerType, 0, DeskRouteCaller::mixer);
    if (route.range)
        return *route.range;
    return parseDeskRange(desk->mixOSCSendRange).value_or(mixerfader::fallbackRange);
}

double faderValueAt(double x, double width, const DeskRange& range) {
    if (!(width > 0) || !std::isfinite(width) || std::isnan(x))
        return range.lower;
    const double t = std::clamp(x, 0.0, width) / width;
    return clampTo(range.lower + t * (range.upper - range.lower), range);
}

double faderPosition(double value, double width, const DeskRange& range) {
    if (!(width > 0) || !std::isfinite(width) || range.upper == range.lower || std::isnan(value))
        return 0;
    const double t = (clampTo(value, range) - range.lower) / (range.upper - range.lower);
    return std::clamp(t, 0.0, 1.0) * width;
}

double faderLevel(double value, const DeskRange& range) {
    if (std::isnan(value))
        return range.lower;
    return clampTo(std::trunc(clampTo(value, range)), range);
}

bool isOnFaderThumb(double x, double y, double value, double width, const DeskRange& range) {
    const double cx = faderPosition(value, width, range);
    const double cy = mixerfader::height / 2;
    const double reach = (mixerfader::thumbDiameter + mixerfader::thumbOutline) / 2;
    return std::hypot(x - cx, y - cy) <= reach;
}
