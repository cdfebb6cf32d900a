#include "Sonavant/ui/CueSidebarModel.h"

#include "Sonavant/cues/PathManager.h"
#include "Sonavant/engine/ContentView.h"

CueSidebarModel::CueSidebarModel(ContentView& view) : view_(view) {}

PathManager& CueSidebarModel::pathManager() const {
    return *view_.pathManager;
}

bool CueSidebarModel::isExpanded() const {
    return view_.appState->showSidebar.get();
}

void CueSidebarModel::toggleSidebar() {
    view_.appState->showSidebar = !view_.appState->showSidebar.get();
}

std::string_view CueSidebarModel::sidebarToggleHelp(bool expanded) {
    return expanded ? "Hide the cue sidebar" : "Show the cue sidebar";
}

bool CueSidebarModel::showsDeskButtons() const {
    const auto& desk = view_.appState->selectedDesk.get();
    return !(desk && desk->displayName == "D&B Soundscape");
}

std::string_view CueSidebarModel::audienceAreaHelp() const {
    return view_.appState->isEditingAudienceArea.get() ? exitAreasHelp : editAreasHelp;
}

void CueSidebarModel::toggleAudienceAreaEditing() {
    view_.appState->isEditingAudienceArea = !view_.appState->isEditingAudienceArea.get();
}

void CueSidebarModel::openMixer() {
    view_.openMixerWindow();
}

void CueSidebarModel::startRecording() {
    view_.startDrawingPath();
}

void CueSidebarModel::playSelectedCues() {
    view_.playSelectedCues();
}

void CueSidebarModel::stopPlayback() {
    view_.stopPlayback();
}

void CueSidebarModel::deleteSelectedCues() {
    view_.deleteSelectedPath();
}

std::shared_ptr<PathCue> CueSidebarModel::cue(const platform::UUID& id) const {
    for (const auto& c : pathManager().pathCues.get())
        if (c && c->id == id)
            return c;
    return nullptr;
}

CueRowState CueSidebarModel::rowState(const PathCue& cue) const {
    const PathManager& manager = pathManager();
    return {manager.playingCueIDs->count(cue.id) > 0 || manager.playbackSessions.count(cue.id) > 0,
            manager.selectedCueIDs->count(cue.id) > 0, cue.hasError, cue.relative};
}

void CueSidebarModel::rowClicked(const platform::UUID& id, bool shift) {
    if (auto c = cue(id))
        pathManager().selectCue(c, shift);
}

void CueSidebarModel::rowDoubleClicked(const platform::UUID& id) {
    if (auto c = cue(id))
        view_.editPathCue(c);
}

bool CueSidebarModel::moveRows(const std::vector<std::size_t>& rows, std::size_t destination) {
    const auto& cues = pathManager().pathCues.get();
    auto moved = movedList(cues, rows, destination);
    if (moved == cues)
        return false;
    pathManager().pathCues = std::move(moved);
    return true;
}

std::size_t CueSidebarModel::dropIndex(const std::vector<double>& rowCentres, double y) {
    std::size_t index = 0;
    while (index < rowCentres.size() && y > rowCentres[index])
        ++index;
    return index;
}
