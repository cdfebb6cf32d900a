#include "Sonavant/ui/SingleLaunch.h"

#include "Sonavant/engine/ContentViewPresenter.h"
#include "platform/Files.h"
#include "platform/Log.h"

namespace launch {

namespace fs = std::filesystem;

LaunchClaim claimAutosaveFolder(const fs::path& autosaveFolder, const fs::path& workingStateFolder,
                                ContentViewPresenter* presenter) {
    LaunchClaim claim;
    try {
        claim.lock = platform::FolderLock::tryAcquire(autosaveFolder / launchLockFileName);
    } catch (const fs::filesystem_error& error) {
        platform::consoleLog({"⚠️ Could not make sure no other Sonavant uses ", autosaveFolder.string(),
                              ": ", error.code().message()});
        return claim;
    }
    if (!claim.lock) {
        claim.refused = true;
        platform::consoleLog({"❌ Sonavant is already running with the autosave in ", autosaveFolder.string(),
                              "; this launch ends."});
        if (presenter)
            presenter->showAlert({PresenterAlert::Style::warning,
                                  "Sonavant is already running.",
                                  "Another Sonavant is working with the autosave in " +
                                      autosaveFolder.string() +
                                      ". Switch to its window: this launch ends so that neither overwrites "
                                      "the other's show.",
                                  {"OK"}});
        return claim;
    }
    // Ours alone now: no write of another launch can be under way.
    for (const fs::path& folder : {autosaveFolder, workingStateFolder})
        for (const fs::path& file : platform::removeLeftoverTemporaryFiles(folder))
            platform::consoleLog({"Removed ", file.string(), ", left by an interrupted write."});
    return claim;
}

} // namespace launch
