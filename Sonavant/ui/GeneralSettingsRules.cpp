#include "Sonavant/ui/GeneralSettingsRules.h"

#include "Sonavant/model/AppState.h"

#include <algorithm>
#include <cmath>

GeneralSettingsRules::Enables GeneralSettingsRules::enables(bool isSoundScapeMode, bool hasAudienceAreas) {
    Enables e;
    // A DS100 draws its own loudspeakers: the page's loudspeaker display has nothing to show.
    e.showRangeCircle = !isSoundScapeMode;
    e.showSpeakerFocus = !isSoundScapeMode;
    e.showSpeakerCoverage = !isSoundScapeMode;
    e.coverageWidth = !isSoundScapeMode;
    e.audienceAwarePanLaw = hasAudienceAreas;
    e.defineAreaHintShown = !hasAudienceAreas;
    return e;
}

double GeneralSettingsRules::steppedCoverageWidth(double width, int steps) {
    if (!std::isfinite(width))
        width = minimumCoverageWidth;
    return std::clamp(width + steps * coverageWidthStep, minimumCoverageWidth, maximumCoverageWidth);
}

bool GeneralSettingsRules::canStepCoverageWidth(double width, int steps) {
    if (steps == 0)
        return false;
    return steps > 0 ? !(width >= maximumCoverageWidth) : !(width <= minimumCoverageWidth);
}

std::string GeneralSettingsRules::coverageWidthLabel(double width) {
    // Converting a value outside the integer range is undefined: such a width reads as its bound.
    if (!std::isfinite(width))
        width = 0;
    width = std::clamp(width, -1e9, 1e9);
    return std::to_string(static_cast<long long>(std::trunc(width))) + "°";
}

std::string GeneralSettingsRules::orientationLabel(CanvasOrientation orientation) {
    std::string label(rawValue(orientation));
    if (!label.empty() && label[0] >= 'a' && label[0] <= 'z')
        label[0] = char(label[0] - 'a' + 'A');
    return label;
}

void GeneralSettingsRules::setPanningMode(AppState& show, PanningMode mode,
                                          const std::function<void()>& onPanLawChanged) {
    show.panningMode = mode;
    if (onPanLawChanged)
        onPanLawChanged();
}

void GeneralSettingsRules::setAudienceAwarePanLaw(AppState& show, bool on,
                                                  const std::function<void()>& onPanLawChanged) {
    show.audienceAwarePanLaw = !show.audienceAreas.get().empty() && on;
    if (onPanLawChanged)
        onPanLawChanged();
}

void GeneralSettingsRules::audienceAreasChanged(AppState& show, const std::vector<AudienceArea>& areas,
                                                const std::function<void()>& onPanLawChanged) {
    if (!areas.empty() || !show.audienceAwarePanLaw)
        return;
    show.audienceAwarePanLaw = false;
    if (onPanLawChanged)
        onPanLawChanged();
}
