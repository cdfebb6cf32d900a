#include "Sonavant/cues/PlaybackSession.h"

#include "Sonavant/model/AppState.h"
#include "Sonavant/model/CanvasGeometry.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

PlaybackSession::PlaybackSession(std::shared_ptr<PathCue> cue_, std::shared_ptr<AppState> appState_,
                                 std::function<double()> liveZoom_, std::function<void()> update,
                                 double speedMultiplier_, double startTime_,
                                 std::optional<std::int64_t> loops)
    : cue(std::move(cue_)), appState(std::move(appState_)), liveZoom(std::move(liveZoom_)),
      updateRelativeLevels(std::move(update)), speedMultiplier(speedMultiplier_), startTime(startTime_) {
    if (loops)
        loopsRemaining = loops;
    else if (cue->loop && cue->loopCount && *cue->loopCount >= 1)
        loopsRemaining = cue->loopCount;
    if (cue->relative && appState) {
        const std::unordered_set<platform::UUID> targets(cue->soundObjectIDs.begin(),
                                                         cue->soundObjectIDs.end());
        for (const auto& source : appState->soundObjects.get())
            if (targets.count(source->id) && !baselineMeters.count(source->id))
                baselineMeters[source->id] = source->positionMeters.get();
    }
}

Point PlaybackSession::pointAlong(const std::vector<Point>& nodes, double fraction) {
    if (nodes.empty())
        return {};
    if (!(fraction < 1.0))
        return nodes.back();
    const double length = polylineLength(nodes);
    if (!(fraction > 0.0) || !(length > 0.0) || !std::isfinite(length))
        return nodes.front();
    const double target = fraction * length;
    double before = 0;
    for (std::size_t i = 0; i + 1 < nodes.size(); ++i) {
        const Point a = nodes[i], b = nodes[i + 1];
        const double s = std::hypot(b.x - a.x, b.y - a.y);
        if (s > 0 && before + s >= target) {
            const double t = std::clamp((target - before) / s, 0.0, 1.0);
            return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
        }
        before += s;
    }
    return nodes.back();
}

PlaybackSession::Step PlaybackSession::tick(double now) {
    const double duration = cue->time / speedMultiplier;
    if (!appState || !(duration > 0) || cue->nodesMeters.size() < 2)
        return {true, false};
    const double elapsed = now - startTime;
    const bool finished = elapsed >= duration;
    place(pointAlong(cue->nodesMeters, finished ? 1.0 : std::max(0.0, elapsed / duration)));
    return {finished, true};
}

void PlaybackSession::place(Point p) {
    const double zoom = liveZoom ? liveZoom() : defaultZoom;
    const Point zero = appState->zeroPoint;
    const CanvasOrientation orientation = appState->canvasOrientation;
    const std::unordered_set<platform::UUID> targets(cue->soundObjectIDs.begin(), cue->soundObjectIDs.end());
    const Point first = cue->nodesMeters.front();
    for (const auto& source : appState->soundObjects.get()) {
        if (!targets.count(source->id))
            continue;
        Point metres;
        if (cue->relative) {
            auto base = baselineMeters.find(source->id);
            if (base == baselineMeters.end())
                continue; // joined after the pass began
            metres = {base->second.x + p.x - first.x, base->second.y + p.y - first.y};
        } else {
            metres = p;
            if (cue->primarySoundObjectID && cue->objectOffsets && source->id != *cue->primarySoundObjectID) {
                auto offset = cue->objectOffsets->find(source->id);
                if (offset != cue->objectOffsets->end())
                    metres = {p.x + offset->second.x, p.y + offset->second.y};
            }
        }
        source->positionMeters = metres;
        source->position = metresToCanvas(orientation, metres, zoom, zero);
    }
}
