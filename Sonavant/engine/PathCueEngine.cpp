#include "Sonavant/engine/PathCueEngine.h"

#include "platform/Log.h"

void PathCueEngine::startPathCue(const std::shared_ptr<PathCue>& cue, double, double, std::function<void()>,
                                 std::optional<std::int64_t>) {
    if (cue)
        platform::consoleLog("PathCueEngine: No playback available; cue " + cue->name + " not started.");
}

void PathCueEngine::stopAllPlayback() {
    platform::consoleLog("Playback stopped. Objects are now free to be updated.");
}
