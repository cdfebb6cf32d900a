#pragma once
// What the main view needs of the path-cue engine: the cue list and default cue time it
// saves and restores, starting and stopping playback for remote commands, and whether
// anything plays (running cues place their sources themselves). The path-cue engine of the
// application implements it; this base keeps the list and the default time and plays
// nothing, so the main view works before (and without) real playback. Main thread only.

#include "Sonavant/cues/PathCue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AppState;

class PathCueEngine {
public:
    static constexpr double initialDefaultTime = 5.0;

    virtual ~PathCueEngine() = default;

    virtual const std::vector<std::shared_ptr<PathCue>>& pathCues() const { return pathCues_; }
    virtual void setPathCues(std::vector<std::shared_ptr<PathCue>> cues) { pathCues_ = std::move(cues); }
    virtual double defaultTime() const { return defaultTime_; }
    virtual void setDefaultTime(double seconds) { defaultTime_ = seconds; }

    // The show that playback moves; given once at start-up.
    virtual void setAppState(std::shared_ptr<AppState> state) { appState_ = std::move(state); }
    const std::shared_ptr<AppState>& appState() const { return appState_; }

    // Starts one cue. `step` runs after every playback step (the main view sends levels);
    // an absent loop count leaves looping to the cue.
    virtual void startPathCue(const std::shared_ptr<PathCue>& cue, double canvasHeight, double currentZoom,
                              std::function<void()> step, std::optional<std::int64_t> loopCount);
    virtual void stopAllPlayback();
    virtual bool hasRunningPlayback() const { return false; }

private:
    std::vector<std::shared_ptr<PathCue>> pathCues_;
    double defaultTime_ = initialDefaultTime;
    std::shared_ptr<AppState> appState_;
};
