#include "platform/FolderLock.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::FolderLock;
namespace fs = std::filesystem;

extern char** environ;

TEST(FolderLock, OneHolderAtATimeAndTheFileLeftBehindDoesNotCount) {
    support::TempFolder folder;
    const fs::path file = folder / "new" / "Sonavant.lock";
    auto first = FolderLock::tryAcquire(file); // the folder is made
    ASSERT_TRUE(first);
    EXPECT_FALSE(FolderLock::tryAcquire(file));
    first.reset();
    ASSERT_TRUE(fs::exists(file));
    EXPECT_TRUE(FolderLock::tryAcquire(file));
}

// Held by another process that then dies by SIGKILL: free again, with no clean-up by anyone.
TEST(FolderLock, TheKernelDropsTheLockOfAKilledProcess) {
    support::TempFolder folder;
    const fs::path file = folder / "Sonavant.lock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only system calls between fork and the end, which comes by itself if the test fails.
        ::alarm(30);
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
        const char held = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(held, 'y');
    EXPECT_FALSE(FolderLock::tryAcquire(file));
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    EXPECT_TRUE(FolderLock::tryAcquire(file));
}

// A program started while the lock is held (a browser opened for a download) does not keep
// it once this process lets it go.
TEST(FolderLock, AProgramStartedWhileHeldDoesNotKeepIt) {
    support::TempFolder folder;
    const fs::path file = folder / "Sonavant.lock";
    auto lock = FolderLock::tryAcquire(file);
    ASSERT_TRUE(lock);
    pid_t child = -1;
    char sleep[] = "sleep", seconds[] = "60";
    char* argv[] = {sleep, seconds, nullptr};
    ASSERT_EQ(::posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);
    lock.reset();
    EXPECT_TRUE(FolderLock::tryAcquire(file));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST(FolderLock, AFolderThatCannotBeMadeThrows) {
    support::TempFolder folder;
    { std::ofstream(folder / "plain") << "not a folder"; }
    EXPECT_THROW(FolderLock::tryAcquire(folder / "plain" / "Sonavant.lock"), fs::filesystem_error);
}
