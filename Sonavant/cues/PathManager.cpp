#include "Sonavant/cues/PathManager.h"

#include "Sonavant/model/AppState.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/model/SoundObject.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <unordered_set>

using platform::consoleLog;
using platform::numberText;

namespace {

std::string pointText(Point p) {
    return "(" + numberText(p.x) + ", " + numberText(p.y) + ")";
}

double distance(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

platform::Duration seconds(double value) {
    return std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(value));
}

} // namespace

PathManager::PathManager() {
    subscriptions_.insert(pathCues.observe(
        [this](const std::vector<std::shared_ptr<PathCue>>& cues) { forgetRemovedCues(cues); }));
    // Any path of at most one node is a new recording: its spacing starts afresh.
    subscriptions_.insert(currentPathNodes.observe([this](const std::vector<Point>& nodes) {
        if (nodes.size() <= 1)
            lastAddedMetersPoint.reset();
    }));
}

PathManager::~PathManager() {
    stopMasterTimer();
}

void PathManager::setAppState(std::shared_ptr<AppState> state) {
    appState_ = std::move(state);
}

// ---- Playback -------------------------------------------------------------------------------

void PathManager::playPathCue(const std::shared_ptr<PathCue>& cue, double zoom, LevelUpdate update,
                              std::optional<std::int64_t> loopsRemaining) {
    if (cue)
        consoleLog("🚀 playPathCue CALLED for cue " + cue->name);
    start(StartKind::play, cue, zoom, std::move(update), loopsRemaining);
}

void PathManager::startPathCue(const std::shared_ptr<PathCue>& cue, double zoom, LevelUpdate update,
                               std::optional<std::int64_t> loopsRemaining) {
    start(StartKind::remote, cue, zoom, std::move(update), loopsRemaining);
}

void PathManager::start(StartKind kind, const std::shared_ptr<PathCue>& cue, double zoom, LevelUpdate update,
                        std::optional<std::int64_t> loopsRemaining) {
    if (!cue)
        return;
    stopLooping = false;
    if (!appState_) {
        consoleLog("❌ No show linked; cue " + cue->name + " not started.");
        return;
    }
    if (std::isfinite(zoom) && zoom > 0 && zoom != currentZoomLevel.get())
        currentZoomLevel = zoom;

    std::weak_ptr<PathManager*> alive = alive_;
    auto session = std::make_shared<PlaybackSession>(
        cue, appState_,
        [alive] {
            auto manager = alive.lock();
            return manager ? (*manager)->currentZoomLevel.get() : defaultZoom;
        },
        update, speedMultiplier, platform::MainRunLoop::now(), loopsRemaining);

    if (cue->relative && cue->primarySoundObjectID && !cue->nodesMeters.empty()) {
        auto base = session->baselineMeters.find(*cue->primarySoundObjectID);
        if (base != session->baselineMeters.end())
            relativeOffsets[cue->id] = {base->second.x - cue->nodesMeters.front().x,
                                        base->second.y - cue->nodesMeters.front().y};
    }

    PlaybackSession* raw = session.get();
    session->onCompletion = [alive, kind, cue, raw, update] {
        if (auto manager = alive.lock())
            (*manager)->complete(kind, cue, *raw, update);
    };
    playbackSessions[cue->id] = session; // a running pass of the same cue ends without completion
    publishPlaying();
    startMasterTimer();

    if (cue->triggerNext == TriggerNextOption::simultaneous && !simultaneousFired.count(cue->id)) {
        const auto sorted = cuesByNumber();
        auto it = std::find_if(sorted.begin(), sorted.end(), [&](const auto& c) { return c->id == cue->id; });
        if (it != sorted.end() && std::next(it) != sorted.end() &&
            !playbackSessions.count((*std::next(it))->id))
            startAgain(kind, *std::next(it), update, std::nullopt);
        simultaneousFired.insert(cue->id);
    }
}

void PathManager::complete(StartKind kind, const std::shared_ptr<PathCue>& cue,
                           const PlaybackSession& session, const LevelUpdate& update) {
    auto restart = [kind, cue, update](std::optional<std::int64_t> loops) {
        return [kind, cue, update, loops](PathManager& manager) {
            if (manager.isListed(cue))
                manager.startAgain(kind, cue, update, loops);
        };
    };
    if (cue->triggerNext == TriggerNextOption::sequential) {
        const auto sorted = cuesByNumber();
        auto it = std::find_if(sorted.begin(), sorted.end(), [&](const auto& c) { return c->id == cue->id; });
        if (it != sorted.end() && std::next(it) != sorted.end()) {
            auto next = *std::next(it);
            later(sequentialStartDelay, [kind, next, update](PathManager& manager) {
                if (manager.isListed(next))
                    manager.startAgain(kind, next, update, std::nullopt);
            });
        }
    }

    auto deselectLater = [this, cue] {
        later(0, [id = cue->id](PathManager& manager) {
            if (manager.selectedCue.get() && manager.selectedCue.get()->id == id)
                manager.selectedCue = nullptr;
            if (manager.selectedCueIDs->count(id))
                manager.selectedCueIDs.update([&](std::set<platform::UUID>& ids) { ids.erase(id); });
        });
    };

    if (cue->loop && !stopLooping) {
        std::optional<std::int64_t> remaining;
        if (session.loopsRemaining && *session.loopsRemaining >= 1) {
            remaining = *session.loopsRemaining - 1;
            if (*remaining == 0) {
                playbackSessions.erase(cue->id);
                if (kind == StartKind::play) {
                    selectedCue = nullptr;
                    selectedCueIDs.update([&](std::set<platform::UUID>& ids) { ids.erase(cue->id); });
                } else {
                    deselectLater();
                }
                return;
            }
        }
        later(loopRestartDelay, restart(remaining));
        return;
    }

    playbackSessions.erase(cue->id);
    relativeOffsets.erase(cue->id);
    if (cue->triggerNext == TriggerNextOption::sequential)
        return;
    if (kind == StartKind::remote)
        return deselectLater();
    const auto sorted = cuesByNumber();
    auto it = std::find_if(sorted.begin(), sorted.end(), [&](const auto& c) { return c->id == cue->id; });
    if (it == sorted.end()) {
        selectedCue = nullptr;
        selectedCueIDs = std::set<platform::UUID>{};
        return;
    }
    auto next = sorted[(std::size_t(it - sorted.begin()) + 1) % sorted.size()];
    selectedCue = next;
    selectedCueIDs = std::set<platform::UUID>{next->id};
}

void PathManager::startAgain(StartKind kind, const std::shared_ptr<PathCue>& cue, const LevelUpdate& update,
                             std::optional<std::int64_t> loopsRemaining) {
    if (kind == StartKind::play)
        playPathCue(cue, currentZoomLevel, update, loopsRemaining);
    else
        startPathCue(cue, currentZoomLevel, update, loopsRemaining);
}

void PathManager::later(double delay, std::function<void(PathManager&)> step) {
    std::weak_ptr<PathManager*> alive = alive_;
    platform::DispatchQueue::main()->asyncAfter(seconds(delay), [alive, generation = generation_, step] {
        auto manager = alive.lock();
        if (manager && (*manager)->generation_ == generation)
            step(**manager);
    });
}

bool PathManager::isListed(const std::shared_ptr<PathCue>& cue) const {
    const auto& cues = pathCues.get();
    return std::find(cues.begin(), cues.end(), cue) != cues.end();
}

void PathManager::playSelectedCues(const std::function<double()>& currentZoom, LevelUpdate update) {
    const auto cues = pathCues.get(); // a start may change the list
    for (const auto& cue : cues)
        if (cue && selectedCueIDs->count(cue->id))
            playPathCue(cue, currentZoom ? currentZoom() : currentZoomLevel.get(), update, std::nullopt);
}

void PathManager::stopAllPlayback() {
    stopLooping = true;
    ++generation_;
    playbackSessions.clear();
    publishPlaying();
    stopMasterTimer();
    selectedCue = nullptr;
    selectedCueIDs = std::set<platform::UUID>{};
    simultaneousFired.clear();
    consoleLog("Playback stopped. Objects are now free to be updated.");
}

void PathManager::stopCue(const platform::UUID& cueID) {
    if (!playbackSessions.erase(cueID))
        return;
    relativeOffsets.erase(cueID);
    publishPlaying();
    if (playbackSessions.empty())
        stopMasterTimer();
}

void PathManager::restoreCues(const std::vector<std::shared_ptr<PathCue>>& cues) {
    std::map<platform::UUID, std::shared_ptr<PathCue>> live;
    for (const auto& cue : pathCues.get())
        if (cue)
            live.emplace(cue->id, cue);
    std::vector<std::shared_ptr<PathCue>> merged;
    merged.reserve(cues.size());
    for (const auto& cue : cues) {
        if (!cue)
            continue;
        auto it = live.find(cue->id);
        if (it == live.end()) {
            merged.push_back(cue);
            continue;
        }
        if (it->second != cue)
            *it->second = *cue;
        merged.push_back(it->second);
    }
    pathCues = std::move(merged); // the cues that went take their playback and selection along
    if (selectedCue.get())
        selectedCue = selectedCue.get(); // its row shows the restored contents
}

void PathManager::replaceCues(std::vector<std::shared_ptr<PathCue>> cues) {
    stopAllPlayback();
    std::erase(cues, nullptr);
    pathCues = std::move(cues);
}

void PathManager::zoomChanged() {
    // Sessions work in metres and project with `currentZoomLevel` on every tick: nothing to
    // re-base.
}

void PathManager::startMasterTimer() {
    if (masterTimer_)
        return;
    std::weak_ptr<PathManager*> alive = alive_;
    masterTimer_ =
        platform::RunLoopTimer::scheduled(seconds(tickInterval), true, [alive](platform::RunLoopTimer&) {
            if (auto manager = alive.lock())
                (*manager)->masterTick();
        });
}

void PathManager::stopMasterTimer() {
    if (masterTimer_)
        masterTimer_->invalidate();
    masterTimer_.reset();
}

void PathManager::masterTick() {
    const double now = platform::MainRunLoop::now();
    const auto sessions = playbackSessions;
    std::vector<std::pair<platform::UUID, PlaybackSession*>> finished;
    LevelUpdate update;
    for (const auto& [id, session] : sessions) {
        auto current = playbackSessions.find(id);
        if (current == playbackSessions.end() || current->second != session)
            continue; // ended by an earlier completion of this tick
        const auto step = session->tick(now);
        if (step.sendLevels && session->updateRelativeLevels)
            update = session->updateRelativeLevels;
        if (step.finished) {
            finished.emplace_back(id, session.get());
            if (session->onCompletion)
                session->onCompletion();
        }
    }
    bool removed = false;
    for (const auto& [id, session] : finished) {
        auto it = playbackSessions.find(id);
        if (it != playbackSessions.end() && it->second.get() == session) {
            playbackSessions.erase(it);
            removed = true;
        }
    }
    if (removed || !finished.empty())
        publishPlaying();
    // One level pass for every session that moved, with the end nodes of finished passes.
    if (update)
        update();
    if (playbackSessions.empty())
        stopMasterTimer();
}

void PathManager::publishPlaying() {
    std::set<platform::UUID> ids;
    for (const auto& entry : playbackSessions)
        ids.insert(entry.first);
    if (ids != playingCueIDs.get())
        playingCueIDs = std::move(ids);
}

void PathManager::forgetRemovedCues(const std::vector<std::shared_ptr<PathCue>>& cues) {
    std::unordered_set<platform::UUID> listed;
    for (const auto& cue : cues)
        if (cue)
            listed.insert(cue->id);
    std::vector<platform::UUID> gone;
    for (const auto& entry : playbackSessions)
        if (!listed.count(entry.first))
            gone.push_back(entry.first);
    for (const auto& id : gone)
        stopCue(id);
    std::erase_if(relativeOffsets, [&](const auto& entry) { return !listed.count(entry.first); });
    std::erase_if(simultaneousFired, [&](const auto& id) { return !listed.count(id); });
    const auto& selected = selectedCueIDs.get();
    if (std::any_of(selected.begin(), selected.end(), [&](const auto& id) { return !listed.count(id); })) {
        auto kept = selected;
        std::erase_if(kept, [&](const auto& id) { return !listed.count(id); });
        selectedCueIDs = std::move(kept);
    }
    if (selectedCue.get() && !listed.count(selectedCue.get()->id))
        selectedCue = nullptr;
}

std::vector<std::shared_ptr<PathCue>> PathManager::cuesByNumber() const {
    std::vector<std::shared_ptr<PathCue>> sorted;
    for (const auto& cue : pathCues.get())
        if (cue)
            sorted.push_back(cue);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a->number < b->number; });
    return sorted;
}

Point PathManager::relativeCanvasOffset(const platform::UUID& cueID, CanvasOrientation orientation,
                                        double zoom) const {
    auto it = relativeOffsets.find(cueID);
    if (it == relativeOffsets.end())
        return {};
    const Point origin = metresToCanvas(orientation, Point{0, 0}, zoom, Point{0, 0});
    const Point moved = metresToCanvas(orientation, it->second, zoom, Point{0, 0});
    return {moved.x - origin.x, moved.y - origin.y};
}

// ---- Recording and numbering ----------------------------------------------------------------

void PathManager::recordNode(Point point) {
    if (!appState_) {
        consoleLog("❌ No show linked; path point ignored.");
        return;
    }
    const double zoom = currentZoomLevel;
    const Point zero = appState_->zeroPoint;
    const CanvasOrientation orientation = appState_->canvasOrientation;
    const Point m = canvasToMetres(orientation, point, zoom, zero);
    const auto& nodes = currentPathNodes.get();
    if (nodes.empty()) {
        currentPathNodes = std::vector<Point>{point};
        lastAddedMetersPoint = m;
        consoleLog("🟢 Added first point at meters: " + pointText(m));
        return;
    }
    const Point last = nodes.back();
    if (distance(last, point) < 0.01) {
        currentPathNodes.update([&](std::vector<Point>& list) { list.push_back(point); });
        consoleLog("🔁 Added final duplicate point (loop closure)");
        return;
    }
    const Point reference =
        lastAddedMetersPoint ? *lastAddedMetersPoint : canvasToMetres(orientation, last, zoom, zero);
    const double d = distance(m, reference);
    if (d >= minimumNodeSpacing) {
        currentPathNodes.update([&](std::vector<Point>& list) { list.push_back(point); });
        lastAddedMetersPoint = m;
        consoleLog("✅ Node added at " + pointText(m) + " (distance: " + numberText(d) + ")");
    } else {
        consoleLog("⛔️ Skipped point (distance only " + numberText(d) + ")");
    }
}

void PathManager::addFinalNode(Point point, const std::vector<std::shared_ptr<SoundObject>>& soundObjects,
                               double zoom) {
    consoleLog("🟢 addFinalNode() called at " + pointText(point));
    if (currentPathNodes->empty()) {
        consoleLog("⚠️ Skipping addFinalNode: No valid path to finalize");
        return;
    }
    const Point first = currentPathNodes->front();
    const Point end = distance(point, first) < loopClosureDistance ? first : point;
    auto nodes = currentPathNodes.get();
    nodes.push_back(end);
    currentPathNodes.exchange(std::move(nodes)); // more than one node: the recording goes on
    finalizeCue(soundObjects, zoom);
}

void PathManager::finalizeCue(const std::vector<std::shared_ptr<SoundObject>>& soundObjects, double zoom) {
    consoleLog("🔵 finalizeCue() called with " + std::to_string(currentPathNodes->size()) + " nodes");
    if (currentPathNodes->empty()) {
        consoleLog("⚠️ Skipping finalizeCue: No path nodes recorded");
        return;
    }
    if (!appState_) {
        consoleLog("❌ No show linked; path not turned into a cue.");
        return;
    }
    const Point zero = appState_->zeroPoint;
    const CanvasOrientation orientation = appState_->canvasOrientation;
    std::vector<Point> nodesMeters;
    for (const Point& node : currentPathNodes.get())
        nodesMeters.push_back(canvasToMetres(orientation, node, zoom, zero));

    std::shared_ptr<SoundObject> primary;
    for (const auto& object : soundObjects)
        if (object && (!primary || object->number.get() < primary->number.get()))
            primary = object;
    std::map<platform::UUID, Point> offsets;
    std::vector<platform::UUID> ids;
    for (const auto& object : soundObjects) {
        if (!object)
            continue;
        ids.push_back(object->id);
        if (primary) {
            const Point p = object->positionMeters, q = primary->positionMeters;
            offsets[object->id] = {p.x - q.x, p.y - q.y};
        }
    }
    const std::size_t offsetCount = offsets.size();
    auto cue = std::make_shared<PathCue>(
        platform::UUID::random(), "Cue " + std::to_string(pathCues->size() + 1), defaultTime.get(),
        std::move(ids), nodesMeters, nextCueNumber(),
        primary ? std::optional<platform::UUID>(primary->id) : std::nullopt,
        std::optional<std::map<platform::UUID, Point>>(std::move(offsets)), false, std::nullopt,
        TriggerNextOption::none, false, false, PathCue::defaultMTCTriggerTime, zoom);
    cue->hasError = cue->soundObjectIDs.empty();
    pathCues.update([&](std::vector<std::shared_ptr<PathCue>>& cues) { cues.push_back(cue); });
    selectedCue = cue;
    selectedCueIDs = std::set<platform::UUID>{cue->id};
    consoleLog("✅ Created new path cue with " + std::to_string(nodesMeters.size()) +
               " nodes and offsets for " + std::to_string(offsetCount) + " objects.");
    const auto kept = lastAddedMetersPoint;
    currentPathNodes = std::vector<Point>{};
    lastAddedMetersPoint = kept; // emptying the path does not start the next recording
}

double PathManager::nextCueNumber() const {
    std::set<double> taken;
    for (const auto& cue : pathCues.get())
        if (cue && std::isfinite(cue->number))
            taken.insert(std::floor(cue->number));
    double n = 1;
    while (taken.count(n))
        ++n;
    return n;
}

void PathManager::selectCue(const std::shared_ptr<PathCue>& cue, bool toggle) {
    if (!cue)
        return;
    if (toggle) {
        selectedCueIDs.update([&](std::set<platform::UUID>& ids) {
            if (!ids.erase(cue->id))
                ids.insert(cue->id);
        });
    } else {
        selectedCueIDs = std::set<platform::UUID>{cue->id};
    }
    std::shared_ptr<PathCue> current;
    if (!selectedCueIDs->empty()) {
        const auto first = *selectedCueIDs->begin();
        for (const auto& c : pathCues.get())
            if (c && c->id == first) {
                current = c;
                break;
            }
    }
    selectedCue = current;
}
