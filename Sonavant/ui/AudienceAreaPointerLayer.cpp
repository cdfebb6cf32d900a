#include "Sonavant/ui/AudienceAreaPointerLayer.h"

double AudienceAreaPointerLayer::zIndexFor(const ContentView& view) {
    return view.appState->isEditingAudienceArea ? editingZIndex : zIndexOf(CanvasLayerSlot::audienceAreas);
}

bool AudienceAreaPointerLayer::hitTest(const ContentView&, Point p) const {
    return AudienceAreaHit::at(gesture_.figures(), p).kind != AudienceAreaHit::Kind::none;
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
