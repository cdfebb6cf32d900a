#include "Sonavant/ui/AudienceAreaPointerLayer.h"

#include <algorithm>

double AudienceAreaPointerLayer::zIndexFor(const ContentView& view) {
    return view.appState->isEditingAudienceArea ? editingZIndex : zIndexOf(CanvasLayerSlot::audienceAreas);
}

bool AudienceAreaPointerLayer::hitTest(const ContentView& view, Point p) const {
    const auto figures = gesture_.figures();
    if (view.appState->isEditingAudienceArea)
        return AudienceAreaHit::at(figures, p).kind != AudienceAreaHit::Kind::none;
    // Outside edit mode an area still takes the click, and does nothing with it: the click
    // neither clears the selection nor starts a rubber band.
    return std::any_of(figures.begin(), figures.end(),
                       [&](const AudienceAreaFigure& f) { return polygonContains(f.points, p); });
}

void AudienceAreaPointerLayer::pointerPressed(ContentView&, const CanvasPointerEvent& event) {
    // Only the primary button edits; another button's press on an area does nothing.
    if (event.button == CanvasPointerEvent::Button::left)
        gesture_.press(event.location);
    else
        gesture_.cancel();
}

void AudienceAreaPointerLayer::pointerMoved(ContentView&, const CanvasPointerEvent& event, Point) {
    if (gesture_.isActive())
        gesture_.move(event.location);
}

void AudienceAreaPointerLayer::pointerReleased(ContentView&, const CanvasPointerEvent& event, Point) {
    if (gesture_.isActive())
        gesture_.release(event.location);
}
