#pragma once
// The path cues' part of the canvas pointer: the node handles of the cues drawn (a press on
// one owns the gesture and drags that node) and, while a path is being drawn, the drawing
// drag, which sees every event beside whatever owns it. Node handles take no press while a
// path is drawn: a stroke over a drawn cue draws, it does not bend the cue. Qt-free.

#include "Sonavant/cues/PathCue.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/CanvasPointerLayer.h"

#include <cstddef>
#include <memory>
#include <optional>

class PathCuePointerLayer : public CanvasPointerLayer {
public:
    static constexpr double handleRadius = 6.0; // a 12-point circle

    struct NodeHit {
        std::shared_ptr<PathCue> cue;
        std::size_t index = 0;
    };
    // The handle under a point: the last cue drawn first, the later node first.
    static std::optional<NodeHit> nodeAt(const ContentView& view, Point location);
    // A canvas event as the drawing and node handlers take it.
    static ContentView::CanvasDrag dragOf(const CanvasPointerEvent& event, Point startLocation);

    double zIndex(const ContentView& view) const override;
    bool hitTest(const ContentView& view, Point location) const override;
    bool observesAllEvents(const ContentView& view) const override;

    void pointerPressed(ContentView& view, const CanvasPointerEvent& event) override;
    void pointerMoved(ContentView& view, const CanvasPointerEvent& event, Point pressLocation) override;
    void pointerReleased(ContentView& view, const CanvasPointerEvent& event, Point pressLocation) override;
    void pointerDoubleClicked(ContentView& view, const CanvasPointerEvent& event) override;

private:
    std::optional<NodeHit> node_;      // the handle being dragged
    std::optional<Point> strokeStart_; // the drawing drag under way
};
