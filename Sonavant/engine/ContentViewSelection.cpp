// The canvas selection and what the pointer does with it: clicks, Shift-clicks and
// double-clicks on items, item drags, the background click and the rubber band. Every
// handler does nothing while audience areas are being edited.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/model/CanvasGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// Farther than any canvas reaches; a drag location beyond it is a broken event, not a move.
constexpr double maxCanvasCoordinate = 1.0e6;

Point offset(Point p, Point t) {
    return {p.x + t.x, p.y + t.y};
}

} // namespace

bool ContentView::isUsableLocation(Point location) {
    return std::isfinite(location.x) && std::isfinite(location.y) &&
           std::abs(location.x) <= maxCanvasCoordinate && std::abs(location.y) <= maxCanvasCoordinate;
}

void ContentView::selectItem(const std::string& key) {
    if (currentModifierFlags & shiftModifierFlag)
        selectedObjects.update([&](std::set<std::string>& keys) { keys.insert(key); });
    else
        selectedObjects = std::set<std::string>{key};

    std::shared_ptr<SoundObject> selected;
    if (auto id = soundObjectIDFromKey(key)) {
        const auto& objects = appState->soundObjects.get();
        auto it = std::find_if(objects.begin(), objects.end(), [&](const auto& o) { return o->id == *id; });
        if (it != objects.end())
            selected = *it;
    }
    localSelectedSoundObject = selected;
}

bool ContentView::isSoundObjectSelected(const SoundObject& object) const {
    return selectedObjects->contains(soundObjectKey(object.id));
}

bool ContentView::isSpeakerSelected(const Speaker& speaker) const {
    return selectedObjects->contains(speakerKey(speaker.id));
}

void ContentView::pressSoundObject(const std::shared_ptr<SoundObject>& object) {
    if (appState->isEditingAudienceArea || !object || isSoundObjectSelected(*object))
        return;
    selectItem(soundObjectKey(object->id));
    appState->selectedSoundObject = object;
    appState->saveStateForUndo();
}

void ContentView::openSoundObject(const std::shared_ptr<SoundObject>& object) {
    if (appState->isEditingAudienceArea || !object)
        return;
    activeSoundObject = object;
    appState->selectedSoundObject = object;
    appState->saveStateForUndo();
    if (presenter)
        presenter->showInputSheet(*this, object->id);
}

void ContentView::pressSpeaker(const Speaker& speaker) {
    if (appState->isEditingAudienceArea || isSpeakerSelected(speaker))
        return;
    selectItem(speakerKey(speaker.id));
    appState->saveStateForUndo();
}

void ContentView::openSpeaker(const Speaker& speaker) {
    if (appState->isEditingAudienceArea)
        return;
    selectItem(speakerKey(speaker.id));
    activeSpeaker = speaker;
    if (presenter)
        presenter->showSpeakerSheet(*this, speaker.id);
}

namespace {

// Where every selected source and loudspeaker stands now, by key.
std::map<std::string, Point> selectedStartPositions(const AppState& state,
                                                    const std::set<std::string>& selected) {
    std::map<std::string, Point> starts;
    for (const auto& source : state.soundObjects.get()) {
        std::string key = soundObjectKey(source->id);
        if (selected.contains(key))
            starts.emplace(std::move(key), source->position.get());
    }
    for (const Speaker& speaker : state.speakers.get()) {
        std::string key = speakerKey(speaker.id);
        if (selected.contains(key))
            starts.emplace(std::move(key), speaker.position);
    }
    return starts;
}

// Loudspeakers that were selected when the drag began follow it by `t`.
void moveSpeakers(AppState& state, const std::map<std::string, Point>& starts, Point t) {
    state.speakers.update([&](std::vector<Speaker>& speakers) {
        for (Speaker& speaker : speakers) {
            auto it = starts.find(speakerKey(speaker.id));
            if (it != starts.end())
                speaker.position = offset(it->second, t);
        }
    });
}

// The selected loudspeakers keep, in metres, where the drag left them.
void storeSpeakerMetres(AppState& state, const std::set<std::string>& selected, double zoom) {
    const Point zero = state.zeroPoint;
    const CanvasOrientation orientation = state.canvasOrientation;
    state.speakers.update([&](std::vector<Speaker>& speakers) {
        for (Speaker& speaker : speakers)
            if (selected.contains(speakerKey(speaker.id)))
                speaker.positionMeters = canvasToMetres(orientation, speaker.position, zoom, zero);
    });
}

} // namespace

void ContentView::moveSelectedObjects(const DragValue& value, const SoundObject& object) {
    if (appState->isEditingAudienceArea || !itemDragsEnabled() || !isUsableLocation(value.location) ||
        !isUsableLocation(value.startLocation))
        return;
    if (!isSoundObjectSelected(object)) {
        selectItem(soundObjectKey(object.id));
        return;
    }
    if (dragStartPositions->empty()) {
        dragStartPositions = std::map<std::string, Point>{};
        appState->saveStateForUndo();
        dragStartPositions = selectedStartPositions(*appState, selectedObjects);
        dragStartLocation = value.startLocation;
    }
    const Point start = dragStartLocation;
    const Point t{value.location.x - start.x, value.location.y - start.y};
    const auto& starts = dragStartPositions.get();
    for (const auto& entry : starts)
        takePositionOutOfSnapshotFade(entry.first);
    for (const auto& source : appState->soundObjects.get()) {
        auto it = starts.find(soundObjectKey(source->id));
        if (it != starts.end())
            source->position = offset(it->second, t);
    }
    // The loudspeaker list is announced only when a loudspeaker moves with the sources.
    const bool speakersMove = std::any_of(starts.begin(), starts.end(), [](const auto& entry) {
        return entry.first.starts_with(speakerKeyPrefix);
    });
    if (speakersMove)
        moveSpeakers(*appState, starts, t);
    updateRelativeLevels();
}

void ContentView::finishObjectDrag(const DragValue&) {
    if (appState->isEditingAudienceArea || dragStartPositions->empty())
        return;
    const double zoom = zoomLevel;
    const Point zero = appState->zeroPoint;
    const CanvasOrientation orientation = appState->canvasOrientation;
    const auto& selected = selectedObjects.get();
    for (const auto& source : appState->soundObjects.get())
        if (selected.contains(soundObjectKey(source->id)))
            source->positionMeters = canvasToMetres(orientation, source->position.get(), zoom, zero);
    storeSpeakerMetres(*appState, selected, zoom);
    updateRelativeLevels();
    dragStartPositions = std::map<std::string, Point>{};
    dragStartLocation = Point{0, 0};
    appState->saveStateForUndo();
}

void ContentView::moveSelectedSpeakers(const DragValue& value, const Speaker& speaker) {
    if (appState->isEditingAudienceArea || !itemDragsEnabled() || !isUsableLocation(value.location) ||
        !isUsableLocation(value.startLocation))
        return;
    if (!isSpeakerSelected(speaker)) {
        selectItem(speakerKey(speaker.id));
        return;
    }
    if (dragStartPositions->empty()) {
        dragStartPositions = selectedStartPositions(*appState, selectedObjects);
        dragStartLocation = value.startLocation;
        appState->saveStateForUndo();
    }
    const Point start = dragStartLocation;
    const Point t{value.location.x - start.x, value.location.y - start.y};
    for (const auto& entry : dragStartPositions.get())
        takePositionOutOfSnapshotFade(entry.first);
    moveSpeakers(*appState, dragStartPositions.get(), t);
    updateRelativeLevels();
}

void ContentView::finishSpeakerDrag(const DragValue&) {
    if (appState->isEditingAudienceArea || dragStartPositions->empty())
        return;
    storeSpeakerMetres(*appState, selectedObjects.get(), zoomLevel);
    updateRelativeLevels();
    dragStartPositions = std::map<std::string, Point>{};
    dragStartLocation = Point{0, 0};
    appState->saveStateForUndo();
}

void ContentView::canvasTapped() {
    if (appState->isEditingAudienceArea)
        return;
    if (!isRecordingPath)
        selectedObjects = std::set<std::string>{};
    appState->saveStateForUndo();
}

void ContentView::updateSelectionRect(const DragValue& value) {
    if (appState->isEditingAudienceArea || isRecordingPath || !cachedGeometryProxy->has_value())
        return;
    if (!isUsableLocation(value.location) || !isUsableLocation(value.startLocation))
        return;
    if (!selectionStart->has_value()) {
        if (isCanvasSpotFree(value.startLocation)) {
            selectionStart = value.startLocation;
            selectionRect = ViewRect{value.startLocation, {0, 0}};
            appState->saveStateForUndo();
        }
        return;
    }
    const Point s = **selectionStart, l = value.location;
    selectionRect =
        ViewRect{{std::min(l.x, s.x), std::min(l.y, s.y)}, {std::abs(s.x - l.x), std::abs(s.y - l.y)}};
}

void ContentView::finishSelectionRect(const DragValue&) {
    if (appState->isEditingAudienceArea || !selectionRect->has_value())
        return;
    const ViewRect rect = **selectionRect;
    std::set<std::string> selection;
    if (currentModifierFlags & shiftModifierFlag)
        selection = selectedObjects;
    const double maxX = rect.origin.x + rect.size.width, maxY = rect.origin.y + rect.size.height;
    for (const auto& source : appState->soundObjects.get()) {
        const Point p = source->position;
        if (rect.origin.x <= p.x && p.x < maxX && rect.origin.y <= p.y && p.y < maxY)
            selection.insert(soundObjectKey(source->id));
    }
    selectedObjects = std::move(selection);
    selectionStart = std::nullopt;
    selectionRect = std::nullopt;
    appState->saveStateForUndo();
}

bool ContentView::isCanvasSpotFree(Point point) const {
    auto near = [&](Point q) { return std::hypot(point.x - q.x, point.y - q.y) < 20.0; };
    for (const auto& source : appState->soundObjects.get())
        if (near(source->position))
            return false;
    for (const Speaker& speaker : appState->speakers.get())
        if (near(speaker.position))
            return false;
    if (pathManager)
        for (const Point& node : pathManager->currentPathNodes.get())
            if (near(node))
                return false;
    return true;
}
