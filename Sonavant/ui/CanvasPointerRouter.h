#pragma once
// Turns the canvas's pointer events into the main view's handlers. A press goes to what it
// lands on (CanvasHitTest) and that target owns the gesture until release:
// - a source: selected at once; moved once the pointer has gone 3 points; double-click opens
//   its sheet;
// - a loudspeaker: the same with 10 points;
// - a focus handle: turns its loudspeaker once the pointer has gone 10 points;
// - the background: a release before 5 points is a click, a longer drag the rubber band;
// - a plugged-in layer: its own handlers.
// Layers that observe every event see each one beside the owner. Events with a location
// that is not finite are dropped. Main thread only.

#include "Sonavant/ui/CanvasHitTest.h"
#include "Sonavant/ui/CanvasPointerEvent.h"
#include "Sonavant/ui/CanvasPointerLayer.h"

#include <optional>
#include <vector>

class ContentView;

class CanvasPointerRouter {
public:
    static constexpr double soundObjectDragMinimum = 3.0;
    static constexpr double speakerDragMinimum = 10.0;
    static constexpr double focusHandleDragMinimum = 10.0;
    static constexpr double backgroundDragMinimum = 5.0;

    explicit CanvasPointerRouter(ContentView& view) : view_(view) {}

    // Layers are not owned; remove one before it goes.
    void addLayer(CanvasPointerLayer* layer);
    void removeLayer(CanvasPointerLayer* layer);
    const std::vector<CanvasPointerLayer*>& layers() const { return layers_; }

    void handle(const CanvasPointerEvent& event);

    // The gesture in progress, if any, and whether it has passed its threshold.
    const std::optional<CanvasHitTarget>& target() const { return target_; }
    bool isDragging() const { return dragging_; }

private:
    void press(const CanvasPointerEvent& event);
    void move(const CanvasPointerEvent& event);
    void release(const CanvasPointerEvent& event);
    void doubleClick(const CanvasPointerEvent& event);
    double threshold(const CanvasHitTarget& target) const;
    const Speaker* speaker(std::int64_t id) const;

    ContentView& view_;
    std::vector<CanvasPointerLayer*> layers_;
    std::optional<CanvasHitTarget> target_;
    Point pressLocation_;
    bool dragging_ = false;
};
