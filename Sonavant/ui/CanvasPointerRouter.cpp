#include "Sonavant/ui/CanvasPointerRouter.h"

#include "Sonavant/engine/ContentView.h"

#include <algorithm>
#include <cmath>

void CanvasPointerRouter::addLayer(CanvasPointerLayer* layer) {
    if (layer && std::find(layers_.begin(), layers_.end(), layer) == layers_.end())
        layers_.push_back(layer);
}

void CanvasPointerRouter::removeLayer(CanvasPointerLayer* layer) {
    std::erase(layers_, layer);
    if (target_ && target_->layer == layer)
        target_.reset();
}

const Speaker* CanvasPointerRouter::speaker(std::int64_t id) const {
    const auto& speakers = view_.appState->speakers.get();
    auto it = std::find_if(speakers.begin(), speakers.end(), [&](const Speaker& s) { return s.id == id; });
    return it == speakers.end() ? nullptr : &*it;
}

double CanvasPointerRouter::threshold(const CanvasHitTarget& target) const {
    switch (target.kind) {
    case CanvasHitTarget::Kind::soundObject:
        return soundObjectDragMinimum;
    case CanvasHitTarget::Kind::speaker:
        return speakerDragMinimum;
    case CanvasHitTarget::Kind::focusHandle:
        return focusHandleDragMinimum;
    case CanvasHitTarget::Kind::background:
        return backgroundDragMinimum;
    case CanvasHitTarget::Kind::layer:
        return 0;
    }
    return 0;
}

void CanvasPointerRouter::handle(const CanvasPointerEvent& event) {
    if (!std::isfinite(event.location.x) || !std::isfinite(event.location.y))
        return;
    view_.currentModifierFlags = event.modifiers;
    // A release reaches the owner before the observers: a release that ends a drawn path
    // must not count as a click on the background of a canvas no longer drawing.
    const bool ownerFirst = event.kind == CanvasPointerEvent::Kind::release;
    const auto owner = target_ ? target_->layer : nullptr;
    const Point gestureStart = target_ ? pressLocation_ : event.location;
    if (ownerFirst)
        release(event);
    // Copied: an observer may add or remove layers.
    const auto observers = layers_;
    for (CanvasPointerLayer* layer : observers) {
        if (!layer->observesAllEvents(view_) ||
            (ownerFirst ? owner == layer : target_ && target_->layer == layer))
            continue;
        switch (event.kind) {
        case CanvasPointerEvent::Kind::press:
            layer->pointerPressed(view_, event);
            break;
        case CanvasPointerEvent::Kind::move:
            layer->pointerMoved(view_, event, target_ ? pressLocation_ : event.location);
            break;
        case CanvasPointerEvent::Kind::release:
            layer->pointerReleased(view_, event, gestureStart);
            break;
        case CanvasPointerEvent::Kind::doubleClick:
            layer->pointerDoubleClicked(view_, event);
            break;
        }
    }
    switch (event.kind) {
    case CanvasPointerEvent::Kind::press:
        press(event);
        break;
    case CanvasPointerEvent::Kind::move:
        move(event);
        break;
    case CanvasPointerEvent::Kind::release:
        break; // done above
    case CanvasPointerEvent::Kind::doubleClick:
        doubleClick(event);
        break;
    }
}

void CanvasPointerRouter::press(const CanvasPointerEvent& event) {
    CanvasHitTarget target = CanvasHitTest::at(view_, event.location, layers_);
    // Only the primary button works the items and the background.
    if (event.button != CanvasPointerEvent::Button::left && target.kind != CanvasHitTarget::Kind::layer) {
        target_.reset();
        return;
    }
    target_ = target;
    pressLocation_ = event.location;
    dragging_ = false;
    switch (target.kind) {
    case CanvasHitTarget::Kind::soundObject:
        view_.pressSoundObject(target.object);
        break;
    case CanvasHitTarget::Kind::speaker:
        if (const Speaker* s = speaker(target.speakerID))
            view_.pressSpeaker(*s);
        break;
    case CanvasHitTarget::Kind::layer:
        target.layer->pointerPressed(view_, event);
        break;
    case CanvasHitTarget::Kind::focusHandle:
    case CanvasHitTarget::Kind::background:
        break;
    }
}

void CanvasPointerRouter::move(const CanvasPointerEvent& event) {
    if (!target_)
        return;
    const CanvasHitTarget target = *target_;
    const ContentView::DragValue value{pressLocation_, event.location};
    if (!dragging_ && std::hypot(event.location.x - pressLocation_.x, event.location.y - pressLocation_.y) >=
                          threshold(target))
        dragging_ = true;

    switch (target.kind) {
    case CanvasHitTarget::Kind::soundObject:
        // Selection follows the pointer from the moment it went down, before any move.
        view_.pressSoundObject(target.object);
        if (dragging_)
            view_.moveSelectedObjects(value, *target.object);
        break;
    case CanvasHitTarget::Kind::speaker:
        if (const Speaker* s = speaker(target.speakerID)) {
            view_.pressSpeaker(*s);
            if (dragging_) {
                const Speaker dragged = *s; // the list changes under the move
                view_.moveSelectedSpeakers(value, dragged);
            }
        }
        break;
    case CanvasHitTarget::Kind::focusHandle:
        if (dragging_)
            view_.speakerFocusDragged(target.speakerID, event.location);
        break;
    case CanvasHitTarget::Kind::background:
        if (dragging_)
            view_.updateSelectionRect(value);
        break;
    case CanvasHitTarget::Kind::layer:
        target.layer->pointerMoved(view_, event, pressLocation_);
        break;
    }
}

void CanvasPointerRouter::release(const CanvasPointerEvent& event) {
    if (!target_)
        return;
    const CanvasHitTarget target = *target_;
    const bool dragged = dragging_;
    const ContentView::DragValue value{pressLocation_, event.location};
    target_.reset();
    dragging_ = false;
    switch (target.kind) {
    case CanvasHitTarget::Kind::soundObject:
        if (dragged)
            view_.finishObjectDrag(value);
        break;
    case CanvasHitTarget::Kind::speaker:
        if (dragged)
            view_.finishSpeakerDrag(value);
        break;
    case CanvasHitTarget::Kind::focusHandle:
        break;
    case CanvasHitTarget::Kind::background:
        if (dragged)
            view_.finishSelectionRect(value);
        else
            view_.canvasTapped();
        break;
    case CanvasHitTarget::Kind::layer:
        target.layer->pointerReleased(view_, event, pressLocation_);
        break;
    }
}

void CanvasPointerRouter::doubleClick(const CanvasPointerEvent& event) {
    // The second press of a double-click is a press like the first, then the item opens.
    press(event);
    if (!target_)
        return;
    switch (target_->kind) {
    case CanvasHitTarget::Kind::soundObject:
        view_.openSoundObject(target_->object);
        break;
    case CanvasHitTarget::Kind::speaker:
        if (const Speaker* s = speaker(target_->speakerID)) {
            const Speaker opened = *s;
            view_.openSpeaker(opened);
        }
        break;
    case CanvasHitTarget::Kind::layer:
        target_->layer->pointerDoubleClicked(view_, event);
        break;
    case CanvasHitTarget::Kind::focusHandle:
    case CanvasHitTarget::Kind::background:
        break;
    }
}
