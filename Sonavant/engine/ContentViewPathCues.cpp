// The main view's side of the path cues: the show's cue list is the engine's, the engine
// follows the canvas zoom, and the cue sidebar's Play and Stop.
#include "Sonavant/engine/ContentView.h"

void ContentView::bindPathManager() {
    pathManager->setAppState(appState);
    // One cue list: the show carries the engine's cues, so show files, the autosave and
    // every undo entry hold what the sidebar lists. The working state read at start-up
    // replaces them afterwards.
    pathManager->pathCues = appState->pathCues.get();
    pathCueObservers_.insert(pathManager->pathCues.observe(
        [this](const std::vector<std::shared_ptr<PathCue>>& cues) { appState->pathCues = cues; }));
    pathCueObservers_.insert(appState->replaced.sink(
        [this](const AppState::Replacement& replacement) { showReplaced(replacement); }));
    pathCueObservers_.insert(appState->historyStepping.sink([this] { finishSnapshotFadeForHistoryStep(); }));
    // Playing cues project with the zoom of the moment.
    pathCueObservers_.insert(zoomLevel.observe([this](const double& zoom) {
        if (pathManager && pathManager->currentZoomLevel.get() != zoom) {
            pathManager->currentZoomLevel = zoom;
            pathManager->zoomChanged();
        }
    }));
}

void ContentView::playSelectedCues() {
    if (!pathManager)
        return;
    std::weak_ptr<ContentView*> alive = aliveToken_;
    pathManager->playSelectedCues(
        [alive] {
            auto view = alive.lock();
            return view ? (*view)->zoomLevel.get() : 100.0;
        },
        whileAlive([](ContentView& view) { view.updateRelativeLevels(); }));
}

void ContentView::stopPlayback() {
    if (pathManager)
        pathManager->stopAllPlayback();
}
