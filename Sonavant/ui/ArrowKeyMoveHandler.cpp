#include "Sonavant/ui/ArrowKeyMoveHandler.h"

#include "Sonavant/engine/CanvasSelectionKey.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/CanvasGeometry.h"

#include <algorithm>

ArrowKeyMoveHandler::ArrowKeyMoveHandler(std::shared_ptr<AppState> appState,
                                         platform::Published<std::set<std::string>>& selectedObjects,
                                         double zoomLevel, Point zeroPoint, CanvasOrientation orientation,
                                         std::function<void()> updateRelativeLevels,
                                         std::function<void(const std::string& key)> positionSet)
    : appState_(std::move(appState)), selectedObjects_(selectedObjects), zoomLevel_(zoomLevel),
      zeroPoint_(zeroPoint), orientation_(orientation),
      updateRelativeLevels_(std::move(updateRelativeLevels)), positionSet_(std::move(positionSet)) {}

void ArrowKeyMoveHandler::handleMove(MoveDirection direction) {
    Point delta;
    switch (direction) {
    case MoveDirection::up:
        delta = {0, -step};
        break;
    case MoveDirection::down:
        delta = {0, step};
        break;
    case MoveDirection::left:
        delta = {-step, 0};
        break;
    case MoveDirection::right:
        delta = {step, 0};
        break;
    }
    auto moved = [&](Point p) { return Point{p.x + delta.x, p.y + delta.y}; };
    // Recorded before the first item moves: a change that records nothing (a remote move)
    // may come between two presses, and one Undo must take back this press alone. A press
    // that moves nothing records nothing.
    bool recorded = false;
    auto beforeMove = [&] {
        if (!recorded)
            appState_->saveStateForUndo();
        recorded = true;
    };

    const std::set<std::string> keys = selectedObjects_.get();
    std::vector<Speaker> speakers = appState_->speakers.get();
    bool speakerMoved = false;
    for (const std::string& key : keys) {
        if (auto id = soundObjectIDFromKey(key)) {
            const auto& objects = appState_->soundObjects.get();
            auto it =
                std::find_if(objects.begin(), objects.end(), [&](const auto& o) { return o->id == *id; });
            if (it == objects.end())
                continue;
            beforeMove();
            SoundObject& object = **it;
            object.position = moved(object.position);
            object.positionMeters =
                canvasToMetres(orientation_, object.position.get(), zoomLevel_, zeroPoint_);
            if (positionSet_)
                positionSet_(key);
        } else if (auto speakerID = speakerIDFromKey(key)) {
            auto it = std::find_if(speakers.begin(), speakers.end(),
                                   [&](const Speaker& s) { return s.id == *speakerID; });
            if (it == speakers.end())
                continue;
            beforeMove();
            it->position = moved(it->position);
            it->positionMeters = canvasToMetres(orientation_, it->position, zoomLevel_, zeroPoint_);
            speakerMoved = true;
            if (positionSet_)
                positionSet_(key);
        }
    }
    // One announcement for all loudspeakers of the press.
    if (speakerMoved)
        appState_->speakers = std::move(speakers);
    if (updateRelativeLevels_)
        updateRelativeLevels_();
    // And after: an edit that records only after itself (a node drag of a selected node)
    // must find this press's result in the history for its Undo to stop there.
    if (recorded)
        appState_->saveStateForUndo();
}

ArrowKeyMoveHandler arrowKeyMoveHandler(ContentView& view) {
    return ArrowKeyMoveHandler(
        view.appState, view.selectedObjects, view.zoomLevel, view.appState->zeroPoint,
        view.appState->canvasOrientation, [&view] { view.updateRelativeLevels(); },
        [&view](const std::string& key) { view.takePositionOutOfSnapshotFade(key); });
}
