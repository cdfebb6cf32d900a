// The canvas's change handlers: first showing, resize, zoom and level settings keep the zero
// point, the canvas positions, the path engine and the desk in step; and the loudspeaker
// focus handle.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/CanvasGeometry.h"

#include <algorithm>
#include <cmath>

void ContentView::canvasAppeared(const CanvasGeometryProxy& geometry) {
    canvasSize = geometry.size;
    cachedGeometryProxy = geometry;
    if (appState->zeroPoint.get() == Point{0, 0})
        appState->zeroPoint = Point{0, geometry.size.height};
    updateZeroPoint();
    refreshPositionsAfterZeroPointChange();
}

void ContentView::canvasResized(ViewSize newSize, const CanvasGeometryProxy& geometry) {
    canvasSize = newSize;
    cachedGeometryProxy = geometry;
    updateZeroPoint();
    refreshPositionsAfterZeroPointChange();
}

void ContentView::zoomLevelChanged(double newZoom) {
    updateZeroPoint();
    // The engine may have heard of the zoom already, as it follows the view's zoom itself.
    if (pathManager && pathManager->currentZoomLevel.get() != newZoom) {
        pathManager->currentZoomLevel = newZoom;
        pathManager->zoomChanged();
    }
    // Every item follows the zoom, also while cues play: the loudspeakers and the sources no
    // cue moves would otherwise keep the old scale and the levels would be computed from it.
    // The playing cues re-base their own sources on the next tick.
    if (const auto& geometry = cachedGeometryProxy.get())
        reprojectAllPositions(*geometry);
    // The full-level radius is fixed in canvas points, so the levels follow the zoom.
    updateRelativeLevels();
}

void ContentView::reprojectAllPositions(const CanvasGeometryProxy&) {
    const double zoom = zoomLevel;
    const Point zero = appState->zeroPoint;
    const CanvasOrientation orientation = appState->canvasOrientation;
    appState->speakers.update([&](std::vector<Speaker>& speakers) {
        for (Speaker& speaker : speakers)
            speaker.position = metresToCanvas(orientation, speaker.positionMeters, zoom, zero);
    });
    for (const auto& source : appState->soundObjects.get())
        source->position = metresToCanvas(orientation, source->positionMeters.get(), zoom, zero);
}

void ContentView::levelSettingsChanged() {
    // A range slider drag changes these many times a second, and each write encodes the
    // show and syncs two files: both are written together half a second after the first
    // change of a run, with the values of that moment, so a long drag writes twice a second.
    if (!levelSettingsWriteDue_) {
        levelSettingsWriteDue_ = true;
        platform::DispatchQueue::main()->asyncAfter(std::chrono::milliseconds(500),
                                                    whileAlive([](ContentView& view) {
                                                        view.levelSettingsWriteDue_ = false;
                                                        view.writeAutosaveAndWorkingState();
                                                    }));
    }
    updateRelativeLevels();
}

void ContentView::speakerFocusDragged(std::int64_t speakerID, Point location) {
    if (!std::isfinite(location.x) || !std::isfinite(location.y))
        return;
    const auto& speakers = appState->speakers.get();
    auto it =
        std::find_if(speakers.begin(), speakers.end(), [&](const Speaker& s) { return s.id == speakerID; });
    if (it == speakers.end())
        return;
    const Point p = it->position;
    // A pointer on the loudspeaker's centre gives no direction.
    if (location == p)
        return;
    double a = std::atan2(location.y - p.y, location.x - p.x) * 57.29577951308232;
    a -= speakerFocusZeroDegrees(appState->canvasOrientation);
    while (a <= -180)
        a += 360;
    while (a > 180)
        a -= 360;
    const std::size_t index = std::size_t(it - speakers.begin());
    if (speakers[index].focus == a)
        return;
    appState->speakers.update([&](std::vector<Speaker>& list) { list[index].focus = a; });
    takeOutOfSnapshotFade(speakerID, FadedProperty::focus);
    updateRelativeLevels();
}

std::vector<ContentView::OffCanvasMarker> ContentView::offCanvasMarkers(ViewRect canvas) const {
    const double minX = canvas.origin.x, minY = canvas.origin.y;
    const double maxX = minX + canvas.size.width, maxY = minY + canvas.size.height;
    auto inside = [&](Point p) { return minX <= p.x && p.x < maxX && minY <= p.y && p.y < maxY; };
    std::vector<OffCanvasMarker> markers;
    for (const Speaker& speaker : appState->speakers.get())
        if (!inside(speaker.position))
            markers.push_back(
                {speakerKey(speaker.id), speaker.position, speaker.displayColour, std::nullopt});
    for (const auto& source : appState->soundObjects.get()) {
        if (inside(source->position))
            continue;
        const std::string& outline = source->outlineColour;
        markers.push_back({soundObjectKey(source->id), source->position, source->colour,
                           outline.empty() ? std::nullopt : std::optional<std::string>(outline)});
    }
    return markers;
}
