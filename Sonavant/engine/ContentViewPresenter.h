#pragma once
// The windows and dialogues the main view opens but does not draw. The GUI implements it;
// without one (headless) the requests are dropped and modal questions get their default
// answer. Tests use a recording fake. Main thread only.

#include "platform/UUID.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class ContentView;

// A modal alert: the pressed button is returned as its index in `buttons` (the first is the
// default button). No buttons means one "OK".
struct PresenterAlert {
    enum class Style { informational, warning, critical };
    Style style = Style::informational;
    std::string title;
    std::string text;
    std::vector<std::string> buttons;
};

// An open or save panel: the allowed file-name extensions (without the dot; empty for any)
// and, for saving, the proposed name.
struct PresenterFilePanel {
    std::string title;
    std::vector<std::string> extensions;
    std::string defaultName;
    std::string typeName = "Files"; // what the type filter calls the files it lets through
};

class ContentViewPresenter {
public:
    virtual ~ContentViewPresenter() = default;

    // Opens the mixer window for the selected source, or brings the open one to the front.
    virtual void showMixerWindow(ContentView& view) = 0;
    // Closes the mixer window if it is open.
    virtual void closeMixerWindow() {}

    // Modal alert; returns the index of the pressed button (0 headless).
    virtual std::size_t showAlert(const PresenterAlert&) { return 0; }
    // Open and save panels; none when cancelled.
    virtual std::optional<std::filesystem::path> chooseFileToOpen(const PresenterFilePanel&) {
        return std::nullopt;
    }
    virtual std::optional<std::filesystem::path> chooseFileToSave(const PresenterFilePanel&) {
        return std::nullopt;
    }
    // Opens an http or https address in the user's browser.
    virtual void openURL(const std::string&) {}

    // Property sheets, opened by double-clicks on the canvas, the object list and the cue list.
    virtual void showSpeakerSheet(ContentView&, std::int64_t /*speakerID*/) {}
    virtual void showInputSheet(ContentView&, const platform::UUID& /*sourceID*/) {}
    virtual void showPathCueSheet(ContentView&) {} // the cue in `cueForProperties`

    // The other windows.
    virtual void showSettingsWindow(ContentView&) {}
    virtual void showSnapshotsWindow(ContentView&) {}
    virtual void showGroupsWindow(ContentView&) {}
};
