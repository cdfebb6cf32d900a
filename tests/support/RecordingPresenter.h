#pragma once
// A presenter that records what the main view asks of the windows and answers modal alerts
// as the test says (by button title; the default button otherwise).

#include "Sonavant/engine/ContentViewPresenter.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace support {

class RecordingPresenter : public ContentViewPresenter {
public:
    void showMixerWindow(ContentView&) override { ++mixerRequests; }
    void closeMixerWindow() override { ++mixerCloses; }

    std::size_t showAlert(const PresenterAlert& alert) override {
        alerts.push_back(alert);
        if (alertAnswers.empty())
            return alert.defaultButton;
        std::string answer = alertAnswers.front();
        alertAnswers.pop_front();
        auto it = std::find(alert.buttons.begin(), alert.buttons.end(), answer);
        return it == alert.buttons.end() ? alert.defaultButton : std::size_t(it - alert.buttons.begin());
    }
    std::optional<std::filesystem::path> chooseFileToOpen(const PresenterFilePanel& panel) override {
        openPanels.push_back(panel);
        return nextOpen;
    }
    std::optional<std::filesystem::path> chooseFileToSave(const PresenterFilePanel& panel) override {
        savePanels.push_back(panel);
        return nextSave;
    }
    void openURL(const std::string& url) override { openedURLs.push_back(url); }

    void showSpeakerSheet(ContentView&, std::int64_t id) override { speakerSheets.push_back(id); }
    void showInputSheet(ContentView&, const platform::UUID& id) override { inputSheets.push_back(id); }
    void showPathCueSheet(ContentView&) override { ++pathCueSheets; }
    void showSettingsWindow(ContentView&) override { ++settingsRequests; }
    void showSnapshotsWindow(ContentView&) override { ++snapshotsRequests; }
    void showGroupsWindow(ContentView&) override { ++groupsRequests; }

    int mixerRequests = 0, mixerCloses = 0;
    std::vector<PresenterAlert> alerts;
    std::deque<std::string> alertAnswers; // button titles, one per coming alert
    std::vector<PresenterFilePanel> openPanels, savePanels;
    std::optional<std::filesystem::path> nextOpen, nextSave;
    std::vector<std::string> openedURLs;
    std::vector<std::int64_t> speakerSheets;
    std::vector<platform::UUID> inputSheets;
    int pathCueSheets = 0, settingsRequests = 0, snapshotsRequests = 0, groupsRequests = 0;
};

} // namespace support
