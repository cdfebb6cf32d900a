// What remote commands and DS100 replies do to the show, on the main thread. Positions
// arrive in metres in the show's frame; the canvas position is derived from them. Remote
// edits push no undo state. Only finite numbers ever reach the show.

#include "OSCCore/NumberText.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"

#include <algorithm>
#include <cmath>
#include <limits>

using platform::consoleLog;

namespace {

bool allFinite(double a, double b = 0) {
    return std::isfinite(a) && std::isfinite(b);
}

void refuseNonFinite(const std::string& what) {
    consoleLog("❌ Ignoring " + what + " with a non-finite value.");
}

} // namespace

void ContentView::handleCuePlay(double cueNumber) {
    if (!pathManager)
        return;
    const auto& cues = pathManager->pathCues.get();
    auto it = std::find_if(cues.begin(), cues.end(),
                           [&](const auto& cue) { return cue && cue->number == cueNumber; });
    if (it == cues.end() || (*it)->hasError)
        return;
    const auto cue = *it; // the start may change the list
    pathManager->startPathCue(
        cue, zoomLevel, whileAlive([](ContentView& view) { view.updateRelativeLevels(); }), std::nullopt);
}

void ContentView::handleStopPlayback() {
    if (pathManager)
        pathManager->stopAllPlayback();
}

std::set<platform::UUID> ContentView::sourcesInMotion() {
    std::set<platform::UUID> moving;
    if (pathManager)
        for (const auto& [id, session] : pathManager->playbackSessions)
            if (session && session->cue)
                moving.insert(session->cue->soundObjectIDs.begin(), session->cue->soundObjectIDs.end());
    const double now = platform::MainRunLoop::now();
    std::erase_if(trackedAt_, [&](const auto& tracked) { return now - tracked.second >= trackingLapse; });
    for (const auto& [id, at] : trackedAt_)
        moving.insert(id);
    return moving;
}

void ContentView::handleTrackPosition(std::int64_t sourceNumber, double x, double y) {
    if (applyTrackPosition(sourceNumber, x, y))
        updateRelativeLevels();
}

bool ContentView::applyTrackPosition(std::int64_t sourceNumber, double x, double y) {
    consoleLog("🟢 onTrackPosition fired: id=" + std::to_string(sourceNumber) +
               ", x=" + osccore::numberText(x) + ", y=" + osccore::numberText(y));
    if (!allFinite(x, y)) {
        refuseNonFinite("track position");
        return false;
    }
    const auto& sources = appState->soundObjects.get();
    auto it = std::find_if(sources.begin(), sources.end(),
                           [&](const auto& source) { return source->number.get() == sourceNumber; });
    if (it == sources.end()) {
        consoleLog("❌ No sound object with number " + std::to_string(sourceNumber) + " found.");
        return false;
    }
    const Point canvas =
        metresToCanvas(appState->canvasOrientation, Point{x, y}, zoomLevel, appState->zeroPoint);
    // A DS100 takes single-precision metres: a position beyond them would leave the source
    // on the canvas where the DS100 never follows.
    if (appState->isSoundScapeMode && !soundScapePosition(canvas)) {
        refuseNonFinite("track position");
        return false;
    }
    consoleLog("✅ Found sound object " + std::to_string(sourceNumber) + ", updating position.");
    SoundObject& source = **it;
    takeOutOfSnapshotFade(source.id);
    trackedAt_[source.id] = platform::MainRunLoop::now();
    source.positionMeters = Point{x, y};
    source.position = canvas;
    appState->soundObjects = appState->soundObjects.get();
    return true;
}

namespace {

// The first loudspeaker with that id, changed in place in the show's list; false when none.
template <class Change> bool changeSpeaker(AppState& show, std::int64_t speakerID, Change&& change) {
    const auto& speakers = show.speakers.get();
    if (std::none_of(speakers.begin(), speakers.end(), [&](const Speaker& s) { return s.id == speakerID; }))
        return false;
    show.speakers.update([&](std::vector<Speaker>& list) {
        change(*std::find_if(list.begin(), list.end(), [&](const Speaker& s) { return s.id == speakerID; }));
    });
    return true;
}

} // namespace

void ContentView::handleRemoteSpeakerPosition(std::int64_t speakerID, double x, double y) {
    if (applyRemoteSpeakerPosition(speakerID, x, y))
        updateRelativeLevels();
}

void ContentView::handleRemoteSpeakerFocus(std::int64_t speakerID, double focus) {
    if (applyRemoteSpeakerFocus(speakerID, focus))
        updateRelativeLevels();
}

void ContentView::handleRemoteSpeakerWidth(std::int64_t speakerID, double width) {
    if (applyRemoteSpeakerWidth(speakerID, width))
        updateRelativeLevels();
}

bool ContentView::applyRemoteSpeakerPosition(std::int64_t speakerID, double x, double y) {
    if (!allFinite(x, y)) {
        refuseNonFinite("loudspeaker position");
        return false;
    }
    const Point canvas =
        metresToCanvas(appState->canvasOrientation, Point{x, y}, zoomLevel, appState->zeroPoint);
    if (!changeSpeaker(*appState, speakerID, [&](Speaker& speaker) {
            speaker.positionMeters = Point{x, y};
            speaker.position = canvas;
        }))
        return false;
    takeOutOfSnapshotFade(speakerID, FadedProperty::position);
    return true;
}

bool ContentView::applyRemoteSpeakerFocus(std::int64_t speakerID, double focus) {
    if (!allFinite(focus)) {
        refuseNonFinite("loudspeaker focus");
        return false;
    }
    if (!changeSpeaker(*appState, speakerID, [&](Speaker& speaker) { speaker.focus = focus; }))
        return false;
    takeOutOfSnapshotFade(speakerID, FadedProperty::focus);
    return true;
}

bool ContentView::applyRemoteSpeakerWidth(std::int64_t speakerID, double width) {
    if (!allFinite(width)) {
        refuseNonFinite("loudspeaker width");
        return false;
    }
    if (!changeSpeaker(*appState, speakerID, [&](Speaker& speaker) { speaker.width = width; }))
        return false;
    takeOutOfSnapshotFade(speakerID, FadedProperty::width);
    return true;
}

void ContentView::handleSoundscapeSpeakerReply(const SoundscapeSpeaker& speaker) {
    if (!allFinite(speaker.x, speaker.y) || !allFinite(speaker.rotation))
        return refuseNonFinite("DS100 loudspeaker reply");
    // Answers to a query are added one by one, as they come. What nobody asked for (a
    // desk's own updates, a flood) must not grow the show without limit: it refreshes that
    // loudspeaker's entry, and adds one only while the list is shorter than a query's answer.
    const bool answer = speakerAnswersExpected > 0 && std::chrono::steady_clock::now() <= speakerAnswersUntil;
    if (answer)
        --speakerAnswersExpected;
    appState->soundscapeSpeakers.update([&](std::vector<SoundscapeSpeaker>& list) {
        if (answer)
            return list.push_back(speaker);
        auto same = std::find_if(list.begin(), list.end(), [&](const SoundscapeSpeaker& s) {
            return s.speakerNumber == speaker.speakerNumber;
        });
        if (same != list.end())
            *same = speaker;
        else if (list.size() < static_cast<std::size_t>(speakersPerQuery))
            list.push_back(speaker);
    });
}

void ContentView::handleRemoteObjectXY(std::int64_t sourceNumber, float x, float y) {
    // A reply counts against the questions asked whatever it holds.
    if (allFinite(x, y)) {
        const auto& sources = appState->soundObjects.get();
        auto it = std::find_if(sources.begin(), sources.end(),
                               [&](const auto& source) { return source->number.get() == sourceNumber; });
        if (it != sources.end()) {
            // Where the DS100 has the source wins over a running recall, as a remote move does.
            takeOutOfSnapshotFade((*it)->id);
            const Point metres = ds100ToShowMetres(x, y);
            (*it)->positionMeters = metres;
            (*it)->position =
                metresToCanvas(appState->canvasOrientation, metres, zoomLevel, appState->zeroPoint);
            appState->soundObjects = appState->soundObjects.get();
        }
    } else {
        refuseNonFinite("DS100 source reply");
    }
    const std::int64_t pending = pendingSoundObjectQueries.get();
    pendingSoundObjectQueries = pending == std::numeric_limits<std::int64_t>::min() ? pending : pending - 1;
    if (pendingSoundObjectQueries.get() <= 0)
        disableSoundObjectOSCUpdates = false;
}
