#include "Sonavant/ui/PathCuePointerLayer.h"

#include "Sonavant/ui/CanvasLayerSlot.h"

#include <cmath>

std::optional<PathCuePointerLayer::NodeHit> PathCuePointerLayer::nodeAt(const ContentView& view,
                                                                        Point location) {
    const auto cues = view.displayedCues();
    for (auto cue = cues.rbegin(); cue != cues.rend(); ++cue) {
        const auto nodes = view.displayedCueNodes(**cue);
        for (std::size_t i = nodes.size(); i-- > 0;)
            if (std::hypot(nodes[i].x - location.x, nodes[i].y - location.y) <= handleRadius)
                return NodeHit{*cue, i};
    }
    return std::nullopt;
}

ContentView::CanvasDrag PathCuePointerLayer::dragOf(const CanvasPointerEvent& event, Point startLocation) {
    ContentView::CanvasDrag drag;
    drag.location = event.location;
    drag.startLocation = startLocation;
    drag.shift = (event.modifiers & ContentView::shiftModifierFlag) != 0;
    drag.control = (event.modifiers & ContentView::controlModifierFlag) != 0;
    drag.rightButton = event.button == CanvasPointerEvent::Button::right;
    return drag;
}

double PathCuePointerLayer::zIndex(const ContentView&) const {
    return zIndexOf(CanvasLayerSlot::pathCues);
}

bool PathCuePointerLayer::hitTest(const ContentView& view, Point location) const {
    if (view.isRecordingPath.get() || view.appState->isEditingAudienceArea.get())
        return false;
    return nodeAt(view, location).has_value();
}

bool PathCuePointerLayer::observesAllEvents(const ContentView& view) const {
    // A stroke that ended the drawing still gets its release, so its state is cleared.
    return view.isRecordingPath.get() || strokeStart_.has_value();
}

void PathCuePointerLayer::pointerPressed(ContentView& view, const CanvasPointerEvent& event) {
    if (view.isRecordingPath.get()) {
        // The drag starts where it is pressed and offers that point at once.
        strokeStart_ = event.location;
        view.addPathPointFromDrag(dragOf(event, event.location));
        return;
    }
    node_ = nodeAt(view, event.location);
    if (node_)
        view.dragCueNode(dragOf(event, event.location), node_->cue, node_->index);
}

void PathCuePointerLayer::pointerMoved(ContentView& view, const CanvasPointerEvent& event,
                                       Point pressLocation) {
    if (node_) {
        view.dragCueNode(dragOf(event, pressLocation), node_->cue, node_->index);
        return;
    }
    if (view.isRecordingPath.get())
        view.addPathPointFromDrag(dragOf(event, strokeStart_.value_or(pressLocation)));
}

void PathCuePointerLayer::pointerReleased(ContentView& view, const CanvasPointerEvent& event,
                                          Point pressLocation) {
    if (auto node = std::exchange(node_, std::nullopt)) {
        view.finishCueNodeDrag(dragOf(event, pressLocation), node->cue, node->index);
        return;
    }
    const Point start = strokeStart_.value_or(pressLocation);
    strokeStart_.reset();
    if (view.isRecordingPath.get())
        view.endPathOnControlClick(dragOf(event, start));
}

void PathCuePointerLayer::pointerDoubleClicked(ContentView& view, const CanvasPointerEvent& event) {
    if (view.isRecordingPath.get()) {
        // The second press of a double click: a press like any other.
        pointerPressed(view, event);
        return;
    }
    if (node_)
        view.cueNodeDoubleClicked();
}
