#pragma once
// Show documents on disk: the show file in two forms (an XML property list holding
// AppSaveContainer, or, for names ending in ".json", the bare AppState as JSON with sorted
// keys), the autosave file rewritten every interval on the main run loop, and the
// recent-files list in the user defaults. Every write replaces its file in one step, so a
// crash mid-write leaves the previous file whole. Main thread only.

#include "platform/Lease.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

class AppState;

class AppStatePersistence {
public:
    static constexpr const char* recentFilesKey = "RecentSonavantFiles";
    static constexpr const char* autosaveFileName = "autosave.sonavant";
    static constexpr std::size_t maxRecentFiles = 5;

    // The application's folder and user defaults unless a test gives others.
    AppStatePersistence();
    AppStatePersistence(std::filesystem::path appSupportDirectory, platform::UserDefaults& defaults);
    ~AppStatePersistence(); // stops the autosave timer
    AppStatePersistence(const AppStatePersistence&) = delete;
    AppStatePersistence& operator=(const AppStatePersistence&) = delete;

    const std::filesystem::path& appSupportDirectory() const { return appSupportDirectory_; }
    const std::filesystem::path& autosaveURL() const { return autosaveURL_; }

    // The document's bytes; the location only chooses the form. Throws platform::CodingError,
    // also for a show holding a number that is not finite (no reader could take it back).
    static std::string encodeState(const AppState& state, const std::filesystem::path& location);

    // The export: the document written in one step, then the location put at the front of
    // the recent files. Throws what encoding or writing throws; a failed write leaves any
    // earlier file at the location whole. A file the user may not write is never replaced
    // (the rename would do it all the same): that throws before anything is written.
    void saveState(const AppState& state, const std::filesystem::path& location);

    // A newly decoded state (not the live one), or null with "❌ Import failed: " on the
    // console. A success puts the location at the front of the recent files.
    std::shared_ptr<AppState> loadState(const std::filesystem::path& location);

    void addRecentFile(const std::filesystem::path& location);
    // Newest first.
    std::vector<std::string> recentFiles() const;

    // (Re)starts the repeating autosave of `state` on the main run loop.
    void startAutosave(std::shared_ptr<AppState> state, double interval);
    // The same timer running `tick` instead, for an owner that writes more than the autosave
    // on each tick.
    void startAutosave(double interval, std::function<void()> tick);

    // The application's autosave interval in seconds: 60, or the value of the environment
    // variable SONAVANT_AUTOSAVE_INTERVAL given as `setting` (tests shorten it). A value that
    // is not a positive number is refused with a console line.
    static constexpr double defaultAutosaveInterval = 60.0;
    static constexpr const char* autosaveIntervalVariable = "SONAVANT_AUTOSAVE_INTERVAL";
    static double autosaveInterval(const char* setting);
    const platform::RunLoopTimerPtr& autosaveTimer() const { return autosaveTimer_; }

    // Creates the application folder if missing; throws std::filesystem::filesystem_error.
    void ensureDirectoryExists() const;

    // The launch restore: the show in the autosave file, or null when there is none or it
    // does not decode. An unreadable autosave is moved aside under another name, never
    // overwritten by the next autosave.
    std::shared_ptr<AppState> restoreAutosave();

    // The stamp of the joint write that wrote the autosave restored at launch; none when the
    // file had none (or there was no file).
    std::optional<std::int64_t> restoredWriteStamp() const { return restoredWriteStamp_; }

    // One autosave: the folder, the bytes, one atomic replacement. Both autosave ticks use
    // it, the main view's from its writer's thread (then nothing else uses this object's
    // autosave at the same time). False, with a console line on the first failure of a run
    // of failures, when the show could not be saved. `writeStamp` goes beside the version.
    bool writeAutosave(const AppState& state, std::optional<std::int64_t> writeStamp = std::nullopt);
    // Why the last autosave failed; empty after a success. Any thread may ask.
    std::string autosaveError() const;
    // Where autosaves go: the autosave file, or, while an unreadable autosave file can be
    // neither read nor moved aside, a file of another name in the same folder (said on the
    // console). Autosaving never stops for it; each tick tries the move again.
    const std::filesystem::path& autosaveTarget() const {
        return fallbackAutosave_.empty() ? autosaveURL_ : fallbackAutosave_;
    }

    // For a writer on another thread that may outlive this object.
    const std::shared_ptr<platform::Lease<AppStatePersistence>>& lease() const { return lease_; }

    // How a file is renamed; a test may stand in a failing file system.
    std::function<void(const std::filesystem::path&, const std::filesystem::path&, std::error_code&)>
        renameFile = [](const std::filesystem::path& from, const std::filesystem::path& to,
                        std::error_code& ec) { std::filesystem::rename(from, to, ec); };

private:
    void setAsideUnreadableAutosave(const std::string& reason);

    std::filesystem::path appSupportDirectory_;
    std::filesystem::path autosaveURL_;
    platform::UserDefaults& defaults_;
    platform::RunLoopTimerPtr autosaveTimer_;
    bool autosaveChecked_ = false;
    bool autosaveFailing_ = false;
    mutable std::mutex errorMutex_;
    std::string autosaveError_; // under errorMutex_
    bool asideFailureReported_ = false;
    std::filesystem::path fallbackAutosave_;
    std::optional<std::int64_t> restoredWriteStamp_;
    std::shared_ptr<platform::Lease<AppStatePersistence>> lease_ =
        std::make_shared<platform::Lease<AppStatePersistence>>(this);
};
