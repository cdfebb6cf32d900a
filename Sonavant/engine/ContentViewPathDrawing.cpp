// Drawing a path on the canvas, the selected cues drawn over it with their node handles, and
// the cue list's commands that start a drawing, delete cues and open a cue's sheet.
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/model/CanvasGeometry.h"

#include <algorithm>
#include <cmath>

void ContentView::startDrawingPath() {
    std::shared_ptr<SoundObject> first;
    for (const auto& object : appState->soundObjects.get()) {
        if (!object || !selectedObjects->count(soundObjectKey(object->id)))
            continue;
        if (!first || object->number.get() < first->number.get())
            first = object;
    }
    if (!first)
        return;
    isRecordingPath = true;
    pathStrokeUndone_ = false;
    pathManager->currentPathNodes = std::vector<Point>{first->position.get()};
}

void ContentView::deleteSelectedPath() {
    // Recorded before the cue goes, so one Undo brings it back.
    appState->saveStateForUndo();
    // Every selected cue goes, not only the current one: with several selected, the current
    // one is merely the first by identifier, which is not a choice the operator made.
    std::set<platform::UUID> doomed = pathManager->selectedCueIDs.get();
    if (const auto& current = pathManager->selectedCue.get())
        doomed.insert(current->id);
    if (!doomed.empty()) {
        auto cues = pathManager->pathCues.get();
        std::erase_if(cues, [&](const auto& cue) { return cue && doomed.count(cue->id); });
        pathManager->pathCues = std::move(cues); // their playback and selection end with them
        pathManager->selectedCue = nullptr;
    }
    // And after: an edit that records only after itself must find this one's result in the
    // history for its Undo to stop there.
    appState->saveStateForUndo();
}

void ContentView::editPathCue(const std::shared_ptr<PathCue>& cue) {
    if (!cue)
        return;
    cueForProperties = cue;
    if (presenter)
        presenter->showPathCueSheet(*this);
}

void ContentView::dismissPathCueSheet() {
    cueForProperties = nullptr;
}

// ---- Drawing ----------------------------------------------------------------------------------

Point ContentView::pathPointToOffer(const CanvasDrag& drag) const {
    const auto& nodes = pathManager->currentPathNodes.get();
    const Point anchor = nodes.empty() ? drag.startLocation : nodes.back();
    Point p = drag.location;
    if (drag.shift) {
        const double dx = std::abs(p.x - anchor.x), dy = std::abs(p.y - anchor.y);
        if (dy <= dx)
            p.y = anchor.y;
        else
            p.x = anchor.x;
    }
    return p;
}

void ContentView::addPathPointFromDrag(const CanvasDrag& drag) {
    if (appState->isEditingAudienceArea.get() || !isRecordingPath.get())
        return;
    const Point p = pathPointToOffer(drag);
    offerPathPoint(p);
    lastDragPosition = p;
    // One undo state per stroke: one per change would push the whole history out while a
    // single path is drawn.
    if (!pathStrokeUndone_) {
        pathStrokeUndone_ = true;
        appState->saveStateForUndo();
    }
}

void ContentView::endPathOnControlClick(const CanvasDrag& drag) {
    pathStrokeUndone_ = false; // the next stroke pushes its own
    if (appState->isEditingAudienceArea.get() || !isRecordingPath.get())
        return;
    const Point p = pathPointToOffer(drag);
    offerPathPoint(p);
    if (!drag.control && !drag.rightButton)
        return; // the path stays open; the next stroke continues it
    std::vector<std::shared_ptr<SoundObject>> targets;
    for (const auto& object : appState->soundObjects.get())
        if (object && selectedObjects->count(soundObjectKey(object->id)))
            targets.push_back(object);
    pathManager->addFinalNode(p, targets, zoomLevel);
    finishPathRecording();
    appState->saveStateForUndo();
    writeAutosaveAndWorkingState();
}

void ContentView::offerPathPoint(Point point) {
    // The recording keeps a point on its last node as a second node there (meant for a loop
    // closed onto itself): a press where the path starts or a stroke that pauses would put
    // zero-length steps in the middle of the path. The end of a path is closed by
    // addFinalNode, not here.
    const auto& nodes = pathManager->currentPathNodes.get();
    if (!nodes.empty() && std::hypot(nodes.back().x - point.x, nodes.back().y - point.y) < 0.01)
        return;
    pathManager->recordNode(point);
}

void ContentView::finishPathRecording() {
    isRecordingPath = false;
    pathStrokeUndone_ = false;
    std::vector<std::shared_ptr<SoundObject>> targets;
    for (const auto& object : appState->soundObjects.get())
        if (object && selectedObjects->count(soundObjectKey(object->id)))
            targets.push_back(object);
    if (targets.empty())
        return;
    if (!pathManager->currentPathNodes->empty()) {
        pathManager->addFinalNode(lastDragPosition.get().value_or(Point{0, 0}), targets, zoomLevel);
        writeAutosaveAndWorkingState();
    }
}

// ---- The path-cue layer -------------------------------------------------------------------------

bool ContentView::isCueSelected(const PathCue& cue) const {
    return pathManager->selectedCueIDs->count(cue.id) > 0;
}

std::vector<std::shared_ptr<PathCue>> ContentView::displayedCues() const {
    std::vector<std::shared_ptr<PathCue>> shown;
    for (const auto& cue : pathManager->pathCues.get())
        if (cue && isCueSelected(*cue))
            shown.push_back(cue);
    return shown;
}

std::vector<Point> ContentView::displayedCueNodes(const PathCue& cue) const {
    const CanvasOrientation orientation = appState->canvasOrientation;
    std::vector<Point> nodes = cue.canvasNodes(orientation, appState->zeroPoint, zoomLevel);
    if (!cue.relative)
        return nodes;
    auto shifted = [&](Point by) {
        for (Point& node : nodes)
            node = {node.x + by.x, node.y + by.y};
        return nodes;
    };
    if (pathManager->relativeOffsets.count(cue.id))
        return shifted(pathManager->relativeCanvasOffset(cue.id, orientation, zoomLevel));
    if (pathManager->playbackSessions.count(cue.id))
        return nodes;
    if (cue.primarySoundObjectID) {
        for (const auto& object : appState->soundObjects.get()) {
            if (!object || object->id != *cue.primarySoundObjectID)
                continue;
            if (nodes.empty())
                return nodes;
            const Point at = object->position;
            return shifted({at.x - nodes.front().x, at.y - nodes.front().y});
        }
    }
    return nodes;
}

void ContentView::dragCueNode(const CanvasDrag& drag, const std::shared_ptr<PathCue>& cue,
                              std::size_t index) {
    if (!cue || appState->isEditingAudienceArea.get())
        return;
    const std::string key = pathNodeKey(cue->id, index);
    if (!selectedObjects->count(key)) {
        selectedObjects = std::set<std::string>{key};
        appState->saveStateForUndo();
    }
    moveCueNode(*cue, index, drag.location);
}

void ContentView::finishCueNodeDrag(const CanvasDrag& drag, const std::shared_ptr<PathCue>& cue,
                                    std::size_t index) {
    if (!cue || appState->isEditingAudienceArea.get())
        return;
    moveCueNode(*cue, index, drag.location);
    appState->saveStateForUndo();
}

void ContentView::cueNodeDoubleClicked() {
    if (!appState->isEditingAudienceArea.get())
        appState->saveStateForUndo();
}

void ContentView::moveCueNode(const PathCue& cue, std::size_t index, Point canvasPoint) {
    std::shared_ptr<PathCue> stored;
    for (const auto& c : pathManager->pathCues.get())
        if (c && c->id == cue.id) {
            stored = c;
            break;
        }
    if (!stored || index >= stored->nodesMeters.size())
        return;
    // A cue drawn shifted (relative) keeps its shift: the node goes where the pointer is.
    const CanvasOrientation orientation = appState->canvasOrientation;
    const auto drawn = displayedCueNodes(*stored);
    const auto plain = stored->canvasNodes(orientation, appState->zeroPoint, zoomLevel);
    const Point shift{drawn[index].x - plain[index].x, drawn[index].y - plain[index].y};
    stored->nodesMeters[index] = canvasToMetres(
        orientation, Point{canvasPoint.x - shift.x, canvasPoint.y - shift.y}, zoomLevel, appState->zeroPoint);
    // The record changed in place: the list and the selected cue tell their views.
    pathManager->pathCues = pathManager->pathCues.get();
    if (isCueSelected(*stored) && pathManager->selectedCue.get() &&
        pathManager->selectedCue.get()->id == stored->id)
        pathManager->selectedCue = stored;
}
