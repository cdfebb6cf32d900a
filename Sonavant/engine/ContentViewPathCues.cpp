// The main view's side of the path cues: the engine follows the canvas zoom, and the cue
// sidebar's Play and Stop.
#include "Sonavant/engine/ContentView.h"

void ContentView::bindPathManager() {
    pathManager->setAppState(appState);
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
