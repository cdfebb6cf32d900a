// Placing the zero point on the canvas and deriving every canvas position again from the
// metres: the room stays where it is, only its drawing moves.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/CanvasGeometry.h"

#include <cmath>

namespace {

Point anchorPoint(ZeroPointPosition position, double w, double h) {
    switch (position) {
    case ZeroPointPosition::topLeft:
        return {0, 0};
    case ZeroPointPosition::centerLeft:
        return {0, h / 2};
    case ZeroPointPosition::bottomLeft:
        return {0, h};
    case ZeroPointPosition::topCenter:
        return {w / 2, 0};
    case ZeroPointPosition::center:
        return {w / 2, h / 2};
    case ZeroPointPosition::bottomCenter:
        return {w / 2, h};
    case ZeroPointPosition::topRight:
        return {w, 0};
    case ZeroPointPosition::centerRight:
        return {w, h / 2};
    case ZeroPointPosition::bottomRight:
        return {w, h};
    }
    return {0, h};
}

} // namespace

void ContentView::updateZeroPoint() {
    const auto& geometry = cachedGeometryProxy.get();
    if (!geometry)
        return;
    const double w = geometry->size.width, h = geometry->size.height;
    // A canvas that reports no usable size yet places nothing.
    if (!std::isfinite(w) || !std::isfinite(h))
        return;
    appState->zeroPoint = anchorPoint(appState->zeroPointPosition, w, h);
    refreshPositionsAfterZeroPointChange();
}

void ContentView::refreshPositionsAfterZeroPointChange() {
    // Also while cues play: they keep their places in metres, and only the drawing moves.
    const double zoom = zoomLevel;
    const Point zero = appState->zeroPoint;
    const CanvasOrientation orientation = appState->canvasOrientation;
    for (const auto& source : appState->soundObjects.get())
        source->position = metresToCanvas(orientation, source->positionMeters.get(), zoom, zero);
    appState->soundObjects = appState->soundObjects.get();
    appState->speakers.update([&](std::vector<Speaker>& speakers) {
        for (Speaker& speaker : speakers)
            speaker.position = metresToCanvas(orientation, speaker.positionMeters, zoom, zero);
    });
}
