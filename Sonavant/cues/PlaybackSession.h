#pragma once
// One running pass of one path cue. Every tick places the cue's sources where the pass has
// got to by arc length: on the path (absolute) or moved by the path's displacement from its
// first node (relative). Everything is worked out in metres; canvas positions are projected
// with the zoom, zero point and orientation of the moment, so a zoom, zero-point or
// orientation change during a pass moves nothing in the room. Main thread only.

#include "Sonavant/cues/PathCue.h"
#include "Sonavant/model/Geometry.h"
#include "platform/UUID.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class AppState;

class PlaybackSession {
public:
    // What one tick did.
    struct Step {
        bool finished = false;   // the pass is over (its sources stand on the last node)
        bool sendLevels = false; // sources may have moved: the levels are due once this tick
    };

    // `liveZoom` gives the canvas zoom (points per metre) at every use; `loopsRemaining`, when
    // absent, comes from the cue (a counted loop of at least one pass).
    PlaybackSession(std::shared_ptr<PathCue> cue, std::shared_ptr<AppState> appState,
                    std::function<double()> liveZoom, std::function<void()> updateRelativeLevels,
                    double speedMultiplier, double startTime, std::optional<std::int64_t> loopsRemaining);

    // Advances to `now` (seconds on the main run loop's clock). The levels are not sent here:
    // the engine sends them once per tick, after every session has moved.
    Step tick(double now);

    // The point at `fraction` (0 to 1) of the polyline's length; the last node from 1 on.
    static Point pointAlong(const std::vector<Point>& nodes, double fraction);

    const std::shared_ptr<PathCue> cue;
    const std::shared_ptr<AppState> appState;
    const std::function<double()> liveZoom;
    const std::function<void()> updateRelativeLevels;
    const double speedMultiplier;
    const double startTime;
    // Relative cues: where each target stood (metres) when the pass began.
    std::map<platform::UUID, Point> baselineMeters;
    std::function<void()> onCompletion;
    std::optional<std::int64_t> loopsRemaining;

private:
    void place(Point pathPoint);
};
