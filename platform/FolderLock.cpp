#include "platform/FolderLock.h"

#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace fs = std::filesystem;

std::unique_ptr<FolderLock> FolderLock::tryAcquire(const fs::path& lockFile) {
    if (lockFile.has_parent_path())
        ensureDirectoryExists(lockFile.parent_path());
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw fs::filesystem_error("cannot open the lock file", lockFile,
                                   std::error_code(errno, std::generic_category()));
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return nullptr;
        throw fs::filesystem_error("cannot lock", lockFile, std::error_code(error, std::generic_category()));
    }
    return std::unique_ptr<FolderLock>(new FolderLock(lockFile, fd));
}

FolderLock::~FolderLock() {
    ::close(fd_);
}

} // namespace platform
