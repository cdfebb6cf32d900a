#pragma once
// A lock held for the life of the process on a lock file: an advisory whole-file lock (flock)
// that the kernel drops when the process ends, however it ends, so a crash never leaves one
// behind. The file itself stays and holds nothing; only the lock on it counts. Programs this
// process starts do not inherit it.

#include <filesystem>
#include <memory>

namespace platform {

class FolderLock {
public:
    // Takes the lock on `lockFile` (made, with its folder, when missing). Null when another
    // holder has it; throws std::filesystem::filesystem_error when it cannot be taken at all
    // (the folder cannot be made or written, or the file system has no locks).
    static std::unique_ptr<FolderLock> tryAcquire(const std::filesystem::path& lockFile);

    ~FolderLock(); // releases the lock
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    FolderLock(std::filesystem::path path, int fd) : path_(std::move(path)), fd_(fd) {}

    std::filesystem::path path_;
    int fd_;
};

} // namespace platform
