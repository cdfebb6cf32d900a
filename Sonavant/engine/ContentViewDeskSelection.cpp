// Choosing a desk in the top bar, clearing the show, and the top bar's level watches.

#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "platform/Log.h"

#include <string>

bool ContentView::isSoundScapeDesk(const MixingDesk& desk) {
    return desk.displayName == "D&B Soundscape";
}

void ContentView::selectDesk(const MixingDesk& desk) {
    // Recorded before the first step, with the desk and port the view sends for: one Undo
    // brings back the old desk, its port and link, the SoundScape mode, the receive port and
    // the show the pick cleared.
    appState->saveStateBeforeDeskPick();
    {
        AppState::HistoryPause pause;
        const DeskRoad road(*this);
        selectedDesk = desk;
        appState->selectedDesk = desk;
        targetPort.set(std::to_string(desk.defaultPort));
        connectDeskLink(desk);
        appState->isSoundScapeMode = isSoundScapeDesk(desk);
        appState->receivePort = std::to_string(desk.defaultPort + 1);
        // The levels of the layout in place go out before the show is emptied.
        updateRelativeLevels();
        clearCanvas();
    }
    appState->saveStateForUndo();
}

void ContentView::connectDeskLink(const MixingDesk& desk) {
    if (desk.UDP)
        disconnectTCP();
    else
        reconnectTCPIfNeeded(selectedDesk.get() ? std::optional<bool>(selectedDesk.get()->UDP) : std::nullopt,
                             targetDeskIP.get(), targetPort.get());
}

void ContentView::trackViewDesk() {
    appState->viewDesk = AppState::ViewDesk{selectedDesk.get(), targetPort.get()};
    // The desk announces before it is visible, with the new value; the port after it changed.
    viewDeskObservers_.insert(selectedDesk.observe([this](const std::optional<MixingDesk>& desk) {
        appState->viewDesk = AppState::ViewDesk{desk, targetPort.get()};
    }));
    viewDeskObservers_.insert(targetPort.observe([this](const std::string& port) {
        appState->viewDesk = AppState::ViewDesk{selectedDesk.get(), port};
    }));
}

void ContentView::takeShowDesk(AppState::Replacement replacement) {
    const DeskRoad road(*this);
    if (replacement == AppState::Replacement::opened) {
        // The show's desk becomes the one levels are sent for, as at launch; a show without
        // one keeps the view's. SoundScape mode follows the desk as a desk pick decides it.
        if (const auto desk = appState->selectedDesk.get()) {
            // Another desk listens on its own port, set as a pick sets it; the port saved in
            // the file was that of the machine it was made on. The same desk keeps the port
            // the operator set.
            if (*desk != selectedDesk.get()) {
                selectedDesk = *desk;
                targetPort.set(std::to_string(desk->defaultPort));
            }
            connectDeskLink(*desk);
        }
        if (const auto& desk = selectedDesk.get())
            appState->isSoundScapeMode = isSoundScapeDesk(*desk);
        return;
    }
    // The entry holds the desk and port the view sent for then (its SoundScape mode and
    // receive port came back with the show). Across an Open or a desk pick the port comes
    // back with the desk even where the desk is the same; any other step keeps a port typed
    // since.
    const auto taken = appState->viewDesk;
    const bool acrossDeskChange = replacement != AppState::Replacement::restored;
    if (taken && taken->desk &&
        (taken->desk != selectedDesk.get() || (acrossDeskChange && taken->port != targetPort.get()))) {
        selectedDesk = taken->desk;
        targetPort.set(taken->port);
        connectDeskLink(*taken->desk);
    }
    appState->viewDesk = AppState::ViewDesk{selectedDesk.get(), targetPort.get()};
}

void ContentView::toggleAppStateFlag(platform::Published<bool> AppState::*flag) {
    auto& value = (*appState).*flag;
    value = !value.get();
}

void ContentView::clearCanvas() {
    endSnapshotFade(); // its later steps would write into the emptied show
    // Recorded before as well: the entry after alone would make Undo skip it as equal to the
    // live state and take back the edit before the Clear instead.
    appState->saveStateForUndo();
    appState->speakers.set({});
    appState->soundObjects.set({});
    appState->groups.set({});
    appState->snapshots.set({});
    appState->pathCues.set({});
    appState->soundscapeSpeakers.set({});
    appState->mixerLevels.set({});
    appState->freezeStates.set({});
    appState->muteStates.set({});
    // An empty show takes nothing off the desk.
    forgetSentLevels();

    pathManager->pathCues.set({});
    pathManager->stopAllPlayback();
    pathManager->selectedCue.set(nullptr);
    pathManager->currentPathNodes.set({});
    isRecordingPath = false;
    removeEmptyGroups();
    if (presenter)
        presenter->closeMixerWindow();
    disableSoundObjectOSCUpdates = false;
    appState->selectedSoundObject = nullptr;
    selectedObjects.set({});
    platform::consoleLog("Canvas cleared: all cues, paths, speakers, and recording states removed while "
                         "preserving selectedDesk.");
    writeAutosaveAndWorkingState();
    appState->saveStateForUndo();
}

void ContentView::watchLevelSettings() {
    levelSettingWatches_.clear();
    // Fields announce before the new value is visible and announce equal values too: act
    // on the next turn, once, and only for a real change. These are the only watches of
    // these fields that send, whichever window changed them.
    auto watch = [this](auto& field) {
        levelSettingWatches_.insert(field.observe([this, &field](const auto& next) {
            if (next == field.get())
                return;
            onMainQueue([](ContentView& view) { view.levelSettingsChanged(); });
        }));
    };
    watch(appState->minLevel);
    watch(appState->maxLevel);
    watch(appState->range);
    watch(appState->panningMode);
    watch(appState->audienceAwarePanLaw);
}

void ContentView::endLevelSettingWatches() {
    levelSettingWatches_.clear();
}
