#pragma once
// The path-cue engine of one main window: the show's cue list and cue selection, the path
// being recorded, and playback. Main thread only.
//
// For the views (cue sidebar, canvas, properties sheet):
// - `pathCues` is the cue list in list order; assign a new list to add, remove or reorder.
//   Removing a cue ends its playback and drops it from the selection.
// - `selectedCueIDs` are the selected cues; `selectedCue` the one shown as current.
//   `selectCue(cue, toggle)` is the list click (toggle: Shift held).
// - `playingCueIDs` are the cues running now (a row's "playing" state).
// - `playSelectedCues` / `stopAllPlayback` are the sidebar's Play and Stop.
// - Recording: assign `currentPathNodes` one seed node to start a path (any assignment of
//   at most one node starts a new recording), offer points with `recordNode`, end it with
//   `addFinalNode`; the new cue is appended and selected.
// - `relativeCanvasOffset` is how far the canvas draws a relative cue's path shifted, so it
//   starts at the primary source.
//
// Playback: one 0.05 s run-loop timer ticks every running session (`PlaybackSession`), then
// sends the levels once. Looping cues restart 0.01 s after a pass, "sequential" cues start
// the next cue by number 0.05 s after each pass, "simultaneous" cues start it at once.
// `stopAllPlayback` ends all of it, also restarts and starts already scheduled.

#include "Sonavant/cues/PathCue.h"
#include "Sonavant/cues/PlaybackSession.h"
#include "Sonavant/model/Geometry.h"
#include "platform/Observable.h"
#include "platform/RunLoop.h"
#include "platform/UUID.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class AppState;
class SoundObject;

class PathManager {
public:
    static constexpr double initialDefaultTime = 5.0;
    static constexpr double tickInterval = 0.05;         // seconds
    static constexpr double loopRestartDelay = 0.01;     // after a pass of a looping cue
    static constexpr double sequentialStartDelay = 0.05; // after a pass of a "sequential" cue
    static constexpr double minimumNodeSpacing = 1.0;    // metres between recorded nodes
    static constexpr double loopClosureDistance = 15.0;  // canvas points from the first node

    using LevelUpdate = std::function<void()>;

    PathManager();
    virtual ~PathManager();
    PathManager(const PathManager&) = delete;
    PathManager& operator=(const PathManager&) = delete;

    platform::Published<std::vector<std::shared_ptr<PathCue>>> pathCues;
    platform::Published<double> defaultTime{initialDefaultTime}; // seconds for a new cue
    platform::Published<std::shared_ptr<PathCue>> selectedCue;   // null for none
    platform::Published<std::set<platform::UUID>> selectedCueIDs;
    platform::Published<std::vector<Point>> currentPathNodes; // the path being recorded, canvas points
    platform::Published<double> speedMultiplier{1.0};
    // The canvas zoom (points per metre); the main view keeps it current. Playing cues
    // project with it on every tick.
    platform::Published<double> currentZoomLevel{100.0};
    platform::Published<std::set<platform::UUID>> playingCueIDs;

    // Relative cues that have started: primary source minus first node, metres.
    std::map<platform::UUID, Point> relativeOffsets;
    std::map<platform::UUID, std::shared_ptr<PlaybackSession>> playbackSessions;
    bool stopLooping = false;
    std::set<platform::UUID> simultaneousFired;
    std::optional<Point> lastAddedMetersPoint; // recording, metres

    // The show that playback and recording work on; given once at start-up.
    virtual void setAppState(std::shared_ptr<AppState> state);
    const std::shared_ptr<AppState>& appState() const { return appState_; }

    // ---- Playback ----------------------------------------------------------------------
    // Starts (or restarts from its first node) one cue. `zoom` is the canvas zoom now;
    // `updateRelativeLevels` sends the levels; an absent loop count leaves looping to the cue.
    // A cue ended by a sidebar start moves the selection on; a remote start deselects it.
    virtual void playPathCue(const std::shared_ptr<PathCue>& cue, double zoom,
                             LevelUpdate updateRelativeLevels, std::optional<std::int64_t> loopsRemaining);
    virtual void startPathCue(const std::shared_ptr<PathCue>& cue, double zoom,
                              LevelUpdate updateRelativeLevels, std::optional<std::int64_t> loopsRemaining);
    // Every selected cue, in list order.
    virtual void playSelectedCues(const std::function<double()>& currentZoom,
                                  LevelUpdate updateRelativeLevels);
    virtual void stopAllPlayback();
    virtual bool hasRunningPlayback() const { return !playbackSessions.empty(); }
    // Ends one cue's playback without its completion (its cue was deleted or lost its targets).
    void stopCue(const platform::UUID& cueID);
    // Undo and redo: the list becomes `cues`, matched by cue id. A cue still there keeps its
    // record (its contents become the entry's), so its playback, loops, chains, selection
    // and open sheet go on with it; a cue whose id is gone ends its playback and leaves the
    // selection; new ids come in as given.
    void restoreCues(const std::vector<std::shared_ptr<PathCue>>& cues);
    // Opening a show: playback and the cue selection end, and `cues` replace the list.
    void replaceCues(std::vector<std::shared_ptr<PathCue>> cues);
    // The canvas reports a new zoom after setting `currentZoomLevel`.
    void zoomChanged();
    void masterTick();

    // ---- Recording and numbering ------------------------------------------------------------
    void recordNode(Point canvasPoint);
    void addFinalNode(Point canvasPoint, const std::vector<std::shared_ptr<SoundObject>>& soundObjects,
                      double zoom);
    void finalizeCue(const std::vector<std::shared_ptr<SoundObject>>& soundObjects, double zoom);
    // The lowest whole number from 1 up that no cue's whole part takes; always 1 or more.
    double nextCueNumber() const;
    void selectCue(const std::shared_ptr<PathCue>& cue, bool toggle);

    // How far the canvas shifts a started relative cue's path (canvas points); (0, 0) when
    // it has no offset.
    Point relativeCanvasOffset(const platform::UUID& cueID, CanvasOrientation orientation, double zoom) const;

    // Cues sorted by number (list order among equals): the chaining order.
    std::vector<std::shared_ptr<PathCue>> cuesByNumber() const;

private:
    enum class StartKind { play, remote };
    void start(StartKind kind, const std::shared_ptr<PathCue>& cue, double zoom, LevelUpdate update,
               std::optional<std::int64_t> loopsRemaining);
    void complete(StartKind kind, const std::shared_ptr<PathCue>& cue, const PlaybackSession& session,
                  const LevelUpdate& update);
    // A restart or chained start, through the operation that started the first.
    void startAgain(StartKind kind, const std::shared_ptr<PathCue>& cue, const LevelUpdate& update,
                    std::optional<std::int64_t> loopsRemaining);
    // Runs `step` after `delay` seconds on the main queue, unless playback was stopped (or
    // the manager went) in the meantime.
    void later(double delay, std::function<void(PathManager&)> step);
    bool isListed(const std::shared_ptr<PathCue>& cue) const;
    void startMasterTimer();
    void stopMasterTimer();
    void publishPlaying();
    void forgetRemovedCues(const std::vector<std::shared_ptr<PathCue>>& cues);

    std::shared_ptr<AppState> appState_;
    platform::RunLoopTimerPtr masterTimer_;
    std::uint64_t generation_ = 0; // counts stops; deferred steps of an older one do nothing
    platform::SubscriptionBag subscriptions_;
    const std::shared_ptr<PathManager*> alive_ = std::make_shared<PathManager*>(this);
};
