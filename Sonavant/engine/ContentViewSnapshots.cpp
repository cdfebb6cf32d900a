// Snapshot recall: everything the snapshot names moves from where it stands to where it
// was stored, along straight lines, over the recall time, sixty steps a second, and the
// desk follows on every step.

#include "Sonavant/engine/CanvasSelectionKey.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "platform/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>

// The plan of one fade, in metres: every step projects with the zoom, zero point and
// orientation of that moment, so a zoom change during the fade moves nothing in the room.
struct ContentView::SnapshotFade {
    double startTime = 0;
    double duration = 0;
    std::map<std::int64_t, Point> speakerStart, speakerTarget;
    std::map<std::int64_t, double> focusStart, focusTarget, widthStart, widthTarget;
    std::map<platform::UUID, Point> sourceStart, sourceTarget;
    platform::RunLoopTimerPtr timer;
};

namespace {

constexpr auto fadeStep =
    std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(1.0 / 60.0));

// The last step lands exactly on the target.
double lerp(double start, double target, double t) {
    return t >= 1.0 ? target : start + t * (target - start);
}

Point lerp(Point start, Point target, double t) {
    return {lerp(start.x, target.x, t), lerp(start.y, target.y, t)};
}

// A stored value that is no number keeps the item where it is.
double targetOr(double stored, double current) {
    return std::isfinite(stored) ? stored : current;
}

Point targetOr(Point stored, Point current) {
    return {targetOr(stored.x, current.x), targetOr(stored.y, current.y)};
}

} // namespace

void ContentView::recallSnapshot(std::int64_t number) {
    const auto& snapshots = appState->snapshots.get();
    auto it = std::find_if(snapshots.begin(), snapshots.end(),
                           [&](const Snapshot& s) { return s.number == number; });
    if (it != snapshots.end())
        recallSnapshot(Snapshot(*it));
}

void ContentView::recallSnapshot(const Snapshot& snapshot) {
    appState->saveStateForUndo();
    // A recall takes over from one still fading: both would write the same items.
    endSnapshotFade();

    auto fade = std::make_shared<SnapshotFade>();
    fade->startTime = platform::MainRunLoop::now();
    fade->duration = snapshot.recallTime;

    const auto& speakers = appState->speakers.get();
    for (const SpeakerState& state : snapshot.speakerStates) {
        auto speaker = std::find_if(speakers.begin(), speakers.end(),
                                    [&](const Speaker& s) { return s.id == state.speakerID; });
        if (speaker == speakers.end())
            continue;
        const std::int64_t id = state.speakerID;
        fade->speakerStart[id] = speaker->positionMeters;
        fade->speakerTarget[id] = targetOr(state.position, speaker->positionMeters);
        fade->focusStart[id] = speaker->focus;
        fade->focusTarget[id] = targetOr(state.focus, speaker->focus);
        fade->widthStart[id] = speaker->width;
        fade->widthTarget[id] = targetOr(state.width, speaker->width);
    }
    const auto& sources = appState->soundObjects.get();
    for (const SoundObjectState& state : snapshot.soundObjectStates) {
        auto source = std::find_if(sources.begin(), sources.end(),
                                   [&](const auto& s) { return s->id == state.soundObjectID; });
        if (source == sources.end())
            continue;
        fade->sourceStart[state.soundObjectID] = (*source)->positionMeters;
        fade->sourceTarget[state.soundObjectID] = targetOr(state.position, (*source)->positionMeters);
    }

    snapshotFade_ = fade;
    std::weak_ptr<ContentView*> alive = aliveToken_;
    std::weak_ptr<SnapshotFade> weakFade = fade;
    fade->timer =
        platform::RunLoopTimer::scheduled(fadeStep, true, [alive, weakFade](platform::RunLoopTimer&) {
            auto view = alive.lock();
            auto plan = weakFade.lock();
            if (view && plan)
                (*view)->snapshotFadeTick(*plan);
        });
}

bool ContentView::isSnapshotFading() const {
    return snapshotFade_ != nullptr;
}

void ContentView::endSnapshotFade() {
    if (!snapshotFade_)
        return;
    if (snapshotFade_->timer)
        snapshotFade_->timer->invalidate();
    snapshotFade_.reset();
}

void ContentView::snapshotFadeTick(SnapshotFade& fade) {
    // A recall time that is 0, negative or no number lands on the targets in one step.
    double t = 1.0;
    if (std::isfinite(fade.duration) && fade.duration > 0)
        t = std::min((platform::MainRunLoop::now() - fade.startTime) / fade.duration, 1.0);
    if (!std::isfinite(t))
        t = 1.0;

    placeSnapshotFade(fade, t);
    updateRelativeLevels();

    if (t >= 1.0) {
        endSnapshotFade();
        writeAutosaveAndWorkingState();
        appState->saveStateForUndo();
    }
}

void ContentView::placeSnapshotFade(const SnapshotFade& fade, double t) {
    const double zoom = zoomLevel;
    const Point zero = appState->zeroPoint;
    const CanvasOrientation orientation = appState->canvasOrientation;

    // Each property of a loudspeaker may have left the fade on its own.
    if (!fade.speakerStart.empty() || !fade.focusStart.empty() || !fade.widthStart.empty()) {
        appState->speakers.update([&](std::vector<Speaker>& speakers) {
            auto find = [&](std::int64_t id) {
                return std::find_if(speakers.begin(), speakers.end(),
                                    [&](const Speaker& s) { return s.id == id; });
            };
            for (const auto& [id, start] : fade.speakerStart) {
                auto speaker = find(id);
                if (speaker == speakers.end())
                    continue;
                speaker->positionMeters = lerp(start, fade.speakerTarget.at(id), t);
                speaker->position = metresToCanvas(orientation, speaker->positionMeters, zoom, zero);
            }
            for (const auto& [id, start] : fade.focusStart)
                if (auto speaker = find(id); speaker != speakers.end())
                    speaker->focus = lerp(start, fade.focusTarget.at(id), t);
            for (const auto& [id, start] : fade.widthStart)
                if (auto speaker = find(id); speaker != speakers.end())
                    speaker->width = lerp(start, fade.widthTarget.at(id), t);
        });
    }
    const auto sources = appState->soundObjects.get();
    for (const auto& [id, start] : fade.sourceStart) {
        auto source =
            std::find_if(sources.begin(), sources.end(), [&](const auto& s) { return s->id == id; });
        if (source == sources.end())
            continue;
        const Point metres = lerp(start, fade.sourceTarget.at(id), t);
        (*source)->positionMeters = metres;
        (*source)->position = metresToCanvas(orientation, metres, zoom, zero);
    }
}

void ContentView::finishSnapshotFadeForHistoryStep() {
    if (!snapshotFade_)
        return;
    // The recall is one edit: the step about to be taken keeps it whole (the redo list gets
    // the recalled layout, not a half-way one). No pass: the step's own follows at once.
    auto fade = snapshotFade_;
    endSnapshotFade();
    placeSnapshotFade(*fade, 1.0);
}

void ContentView::takeOutOfSnapshotFade(std::int64_t speakerID, FadedProperty property) {
    if (!snapshotFade_)
        return;
    SnapshotFade& fade = *snapshotFade_;
    switch (property) {
    case FadedProperty::position:
        fade.speakerStart.erase(speakerID);
        fade.speakerTarget.erase(speakerID);
        break;
    case FadedProperty::focus:
        fade.focusStart.erase(speakerID);
        fade.focusTarget.erase(speakerID);
        break;
    case FadedProperty::width:
        fade.widthStart.erase(speakerID);
        fade.widthTarget.erase(speakerID);
        break;
    }
}

void ContentView::takeOutOfSnapshotFade(const platform::UUID& sourceID) {
    if (!snapshotFade_)
        return;
    snapshotFade_->sourceStart.erase(sourceID);
    snapshotFade_->sourceTarget.erase(sourceID);
}

void ContentView::takePositionOutOfSnapshotFade(const std::string& selectionKey) {
    if (!snapshotFade_)
        return;
    if (auto source = soundObjectIDFromKey(selectionKey))
        takeOutOfSnapshotFade(*source);
    else if (auto speaker = speakerIDFromKey(selectionKey))
        takeOutOfSnapshotFade(*speaker, FadedProperty::position);
}
