#pragma once
// The tool palette's buttons for the palette's mode: normal, SoundScape (the import takes
// the place of "Add Output") and audience-area editing.

#include <string>
#include <vector>

struct ToolPalette {
    enum class Action {
        addSpeaker,
        importDbpr,
        addSoundObject,
        clearCanvas,
        showGroups,
        showSnapshots,
        addArea,
        deleteArea,
        duplicateArea,
        clearAreas,
    };
    struct Button {
        std::string label;
        std::string help;
        Action action;
    };
    static constexpr double buttonWidth = 90, buttonHeight = 30;

    static std::vector<Button> buttons(bool isEditingAudienceArea, bool isSoundScapeMode);
    // Ctrl+Backspace deletes the canvas selection only outside audience-area editing.
    static bool deleteShortcutActive(bool isEditingAudienceArea) { return !isEditingAudienceArea; }
};
