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

// A modal alert: the pressed button is returned as its index in `buttons`. No buttons means
// one "OK". Return presses the default button; Escape and closing the box press the cancel
// button.
struct PresenterAlert {
    enum class Style { informational, warning, critical };
    Style style = Style::informational;
    std::string title;
    std::string text;
    std::vector<std::string> buttons;
    std::size_t defaultButton = 0;
    std::optional<std::size_t> cancelButton = std::nullopt; // the last one when none is named

    std::size_t cancelIndex() const {
        return cancelButton.value_or(buttons.empty() ? 0 : buttons.size() - 1);
    }
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

    // Modal alert; returns the index of the pressed button (the default one headless).
    virtual std::size_t showAlert(const PresenterAlert& alert) { return alert.defaultButton; }
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
