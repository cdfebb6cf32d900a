#include "Sonavant/ui/MenuEnableRules.h"

#include "Sonavant/model/AppState.h"

#include <filesystem>

MenuEnableRules::Inputs MenuEnableRules::inputsFrom(const AppState* show) {
    Inputs inputs;
    if (!show)
        return inputs;
    inputs.hasShow = true;
    inputs.isSoundScapeMode = show->isSoundScapeMode;
    if (const auto& desk = show->selectedDesk.get())
        inputs.selectedDeskName = desk->name;
    inputs.undoAvailable = !AppState::undoStack.empty();
    inputs.redoAvailable = !AppState::redoStack.empty();
    return inputs;
}

MenuEnableRules::States MenuEnableRules::states(const Inputs& inputs) {
    States states;
    if (!inputs.hasShow)
        return states;
    states.undo = inputs.undoAvailable;
    states.redo = inputs.redoAvailable;
    states.showMixer = !inputs.isSoundScapeMode;
    states.getPositionsFromDS100 = inputs.isSoundScapeMode;
    states.getSpeakersFromDS100 = inputs.isSoundScapeMode;
    states.generateFadeCues = inputs.selectedDeskName && *inputs.selectedDeskName == fadeCueDeskName;
    states.openRecentItems = true;
    return states;
}

std::string MenuEnableRules::recentFileTitle(const std::string& path) {
    std::filesystem::path p(path);
    // "/shows/" names its folder, as a file address would.
    if (!p.has_filename() && p.has_parent_path())
        p = p.parent_path();
    return p.filename().string();
}

std::vector<std::string> MenuEnableRules::recentFileTitles(const std::vector<std::string>& paths) {
    std::vector<std::string> titles;
    titles.reserve(paths.size());
    for (const auto& path : paths)
        titles.push_back(recentFileTitle(path));
    return titles;
}
