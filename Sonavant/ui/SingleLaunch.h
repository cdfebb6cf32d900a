#pragma once
// One launch per autosave folder. Two programs writing one autosave and one working state
// would flip both files between their shows at every tick, and the one quit last would win.
// The launch claims the folder with a lock before anything reads or writes either file or
// binds a socket; a second launch that finds it held tells the operator and ends, leaving
// the first untouched.

#include "platform/FolderLock.h"

#include <filesystem>
#include <memory>

class ContentViewPresenter;

namespace launch {

inline constexpr const char* launchLockFileName = "Sonavant.lock";

struct LaunchClaim {
    bool refused = false;                       // another launch holds the folder: this one ends
    std::unique_ptr<platform::FolderLock> lock; // held for the life of the process
};

// Takes the autosave folder's lock, then removes the temporary files interrupted writes left
// in that folder and in the working-state folder. Refused, with an alert through `presenter`
// (none when no one sees the screen) and a console line, when another launch holds the lock.
// A lock that cannot be taken at all (a read-only home) lets the launch go on, said on the
// console, with nothing removed.
LaunchClaim claimAutosaveFolder(const std::filesystem::path& autosaveFolder,
                                const std::filesystem::path& workingStateFolder,
                                ContentViewPresenter* presenter);

} // namespace launch
