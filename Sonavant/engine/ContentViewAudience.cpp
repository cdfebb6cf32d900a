#include "Sonavant/engine/AudienceFactors.h"
#include "Sonavant/engine/ContentView.h"

double ContentView::audienceFocusFactor(const Speaker& speaker) const {
    const auto orientation = appState->canvasOrientation.get();
    const auto nodes =
        audienceNodeCanvasPoints(appState->audienceAreas, orientation, zoomLevel, appState->zeroPoint);
    return audienceFactor(speaker, orientation, nodes, focusFactorLimits(speaker.width));
}

double ContentView::audienceCoverageFactor(const Speaker& speaker) const {
    const auto orientation = appState->canvasOrientation.get();
    const auto nodes =
        audienceNodeCanvasPoints(appState->audienceAreas, orientation, zoomLevel, appState->zeroPoint);
    return audienceFactor(speaker, orientation, nodes, coverageFactorLimits(speaker.width));
}
