#pragma once
// Which menu items can be chosen, read from the live show when a menu is drawn or a
// shortcut is pressed. Before the show exists every item that reads it stays off.

#include <optional>
#include <string>
#include <vector>

class AppState;

struct MenuEnableRules {
    // What the rules read of the show and its history.
    struct Inputs {
        bool hasShow = false;
        bool isSoundScapeMode = false;
        std::optional<std::string> selectedDeskName; // the desk's `name`, not its display name
        bool undoAvailable = false;
        bool redoAvailable = false;
    };
    static Inputs inputsFrom(const AppState* show);

    struct States {
        bool undo = false;
        bool redo = false;
        bool showMixer = false;
        bool getPositionsFromDS100 = false;
        bool getSpeakersFromDS100 = false;
        bool generateFadeCues = false;
        bool openRecentItems = false; // loading a recent show needs a show to load into
    };
    static States states(const Inputs& inputs);

    // The one desk that fade cues are made for; compared exactly.
    static constexpr const char* fadeCueDeskName = "QLab 5";

    // Submenu titles for the stored paths, newest first: each path's last component.
    static std::vector<std::string> recentFileTitles(const std::vector<std::string>& paths);
    static std::string recentFileTitle(const std::string& path);
};
