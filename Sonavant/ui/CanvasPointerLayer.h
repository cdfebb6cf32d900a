#pragma once
// What a layer that plugs in later (audience-area editor, path-cue layer, path drawing)
// gives the pointer router: its place in the stack, where it takes a press, and what it
// does with the gesture it then owns. A layer that observes every event (the path-recording
// drag, simultaneous with whatever the pointer is on) sees each event beside the owner.
// Qt-free: the canvas widget hands the same events to the router.

#include "Sonavant/ui/CanvasPointerEvent.h"

class ContentView;

class CanvasPointerLayer {
public:
    virtual ~CanvasPointerLayer() = default;

    // Higher is hit first; the built-in slots are CanvasLayerSlot numbers.
    virtual double zIndex(const ContentView& view) const = 0;
    // True when a press here lands on this layer; it then owns the gesture until release.
    virtual bool hitTest(const ContentView&, Point) const { return false; }
    // True to see every event of the canvas, whoever owns it.
    virtual bool observesAllEvents(const ContentView&) const { return false; }

    virtual void pointerPressed(ContentView&, const CanvasPointerEvent&) {}
    // `pressLocation` is where the gesture began.
    virtual void pointerMoved(ContentView&, const CanvasPointerEvent&, Point /*pressLocation*/) {}
    virtual void pointerReleased(ContentView&, const CanvasPointerEvent&, Point /*pressLocation*/) {}
    virtual void pointerDoubleClicked(ContentView&, const CanvasPointerEvent&) {}
};
