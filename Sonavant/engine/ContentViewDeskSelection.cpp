// Choosing a desk in the top bar, clearing the show, and the top bar's level watches.

#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "platform/Log.h"

#include <string>

void ContentView::selectDesk(const MixingDesk& desk) {
    selectedDesk = desk;
    appState->selectedDesk = desk;
    targetPort.set(std::to_string(desk.defaultPort));
    if (desk.UDP)
        disconnectTCP();
    else
        reconnectTCPIfNeeded(selectedDesk.get() ? std::optional<bool>(selectedDesk.get()->UDP) : std::nullopt,
                             targetDeskIP.get(), targetPort.get());
    appState->isSoundScapeMode = desk.displayName == "D&B Soundscape";
    appState->receivePort = std::to_string(desk.defaultPort + 1);
    // The levels of the layout in place go out before the show is emptied.
    updateRelativeLevels();
    clearCanvas();
}

void ContentView::toggleAppStateFlag(platform::Published<bool> AppState::*flag) {
    auto& value = (*appState).*flag;
    value = !value.get();
}

void ContentView::clearCanvas() {
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
    saveState();
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
