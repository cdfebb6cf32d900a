// Show export and import from the File menu: the save and open panels and what their
// outcomes do to the live show. A failure changes nothing; besides its console line it is
// shown to the operator, who would otherwise take the silence for success.

#include "Sonavant/engine/BackgroundImageBookmark.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <algorithm>

using platform::consoleLog;

namespace {

constexpr const char* savedStateFileBookmarkKey = "SavedStateFileBookmark";
constexpr const char* defaultExtension = "sonavant";

// The forms a show file is written in and read back from: a property list under its own or
// the XML extension, or JSON.
const std::vector<std::string> showFileExtensions{"sonavant", "xml", "json"};

} // namespace

PresenterFilePanel ContentView::exportPanel() {
    return {"Save As...", showFileExtensions, "SonavantState", "Sonavant Shows"};
}

PresenterFilePanel ContentView::importPanel() {
    return {"Open...", showFileExtensions, "", "Sonavant Shows"};
}

AppStatePersistence& ContentView::showFiles() {
    if (persistence)
        return *persistence;
    if (!ownShowFiles_)
        ownShowFiles_ = std::make_shared<AppStatePersistence>(platform::applicationSupportDirectory(),
                                                              workingStateDefaults());
    return *ownShowFiles_;
}

void ContentView::presentExporter() {
    isExporting = true;
    std::optional<std::filesystem::path> chosen;
    if (presenter)
        chosen = presenter->chooseFileToSave(exportPanel());
    isExporting = false;
    if (chosen)
        handleExportResult({chosen, {}});
}

void ContentView::presentImporter() {
    isImporting = true;
    std::optional<std::filesystem::path> chosen;
    if (presenter)
        chosen = presenter->chooseFileToOpen(importPanel());
    isImporting = false;
    if (chosen)
        handleImportResult({chosen, {}});
}

void ContentView::handleExportResult(const FilePanelOutcome& outcome) {
    if (!outcome.url)
        return;
    std::filesystem::path location = *outcome.url;
    if (!location.has_extension())
        location += std::string(".") + defaultExtension;
    try {
        // Written aside and renamed into place: a failed write leaves an earlier file whole.
        showFiles().saveState(*appState, location);
    } catch (const std::exception& error) {
        consoleLog(std::string("❌ Export failed: ") + error.what());
        if (presenter)
            presenter->showAlert({PresenterAlert::Style::warning,
                                  "The show could not be saved.",
                                  location.string() + "\n\n" + error.what(),
                                  {}});
    }
}

void ContentView::handleImportResult(const FilePanelOutcome& outcome) {
    if (!outcome.url) {
        if (!outcome.error.empty())
            consoleLog("❌ File import failed: " + outcome.error);
        return;
    }
    const std::filesystem::path& location = *outcome.url;
    auto bookmark = BackgroundImageBookmark::make(location.string());
    if (!bookmark.data) {
        consoleLog("❌ Import failed: " + bookmark.error);
        if (presenter)
            presenter->showAlert({PresenterAlert::Style::warning,
                                  "The show could not be opened.",
                                  bookmark.error + " The current show is unchanged.",
                                  {}});
        return;
    }
    workingStateDefaults().set(savedStateFileBookmarkKey, platform::Value(std::move(*bookmark.data)));

    // The loader prints its own reason; the live show is only touched once a whole show is in.
    auto loaded = showFiles().loadState(location);
    if (!loaded) {
        if (presenter)
            presenter->showAlert({PresenterAlert::Style::warning,
                                  "The show could not be opened.",
                                  "\"" + location.filename().string() +
                                      "\" is neither a Sonavant show file nor a show in JSON. The current "
                                      "show is unchanged.",
                                  {}});
        return;
    }
    appState->load(*loaded);
}

void ContentView::showReplaced(AppState::Replacement replacement) {
    if (replacement == AppState::Replacement::opened) {
        // The recall belongs to the show that was open; the desk takes the opened show as new.
        endSnapshotFade();
        forgetSentLevels();
        pathManager->replaceCues(appState->pathCues.get());
    } else {
        pathManager->restoreCues(appState->pathCues.get());
    }
    // The engine's list is the show's again (the same records).
    appState->pathCues = pathManager->pathCues.get();
    if (const auto& cue = cueForProperties.get()) {
        const auto& cues = pathManager->pathCues.get();
        if (std::find(cues.begin(), cues.end(), cue) == cues.end())
            dismissPathCueSheet();
    }
    takeShowDesk(replacement);
    // Canvas points stored with the show belong to the zoom and canvas size it was made at.
    if (cachedGeometryProxy.get())
        updateZeroPoint();
    else
        refreshPositionsAfterZeroPointChange();
    updateRelativeLevels();
    // Not before the view has read the working state: that would replace the operator's
    // with launch values.
    if (onScreen_)
        writeAutosaveAndWorkingState();
}
