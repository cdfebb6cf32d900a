#pragma once
// The audience-area editor's place among the canvas's pointer targets. Outside edit mode it
// takes the presses on an area and does nothing with them; in edit mode it lies above the items (whose
// gestures do nothing then) and takes every press that lands on an area or a node handle of the edited area.

#include "Sonavant/ui/AudienceAreaGesture.h"
#include "Sonavant/ui/CanvasLayerSlot.h"
#include "Sonavant/ui/CanvasPointerLayer.h"

class AudienceAreaPointerLayer : public CanvasPointerLayer {
public:
    // Above the sources while editing, below the edit panel and the banner.
    static constexpr double editingZIndex = zIndexOf(CanvasLayerSlot::soundObjects) + 0.5;

    explicit AudienceAreaPointerLayer(ContentView& view) : gesture_(view) {}

    static double zIndexFor(const ContentView& view);
    double zIndex(const ContentView& view) const override { return zIndexFor(view); }
    bool hitTest(const ContentView& view, Point p) const override;
    void pointerPressed(ContentView& view, const CanvasPointerEvent& event) override;
    void pointerMoved(ContentView& view, const CanvasPointerEvent& event, Point pressLocation) override;
    void pointerReleased(ContentView& view, const CanvasPointerEvent& event, Point pressLocation) override;

    const AudienceAreaGesture& gesture() const { return gesture_; }
    AudienceAreaGesture& gesture() { return gesture_; }

private:
    AudienceAreaGesture gesture_;
};
