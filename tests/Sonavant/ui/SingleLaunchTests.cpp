#include "Sonavant/ui/SingleLaunch.h"
#include "platform/FolderLock.h"
#include "platform/Log.h"
#include "support/RecordingPresenter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

// A launch that finds the folder held is told, by an alert when someone sees the screen and on
// the console always, and removes nothing; the launch that holds it cleans both folders.
TEST(SingleLaunch, ALaunchFindingTheFolderHeldIsToldAndTouchesNothing) {
    support::TempFolder home;
    const fs::path data = home / "data", config = home / "config";
    fs::create_directories(data);
    fs::create_directories(config);
    const fs::path leftover = data / ".autosave.sonavant.tmp-0123456789ab";
    const fs::path stateLeftover = config / ".Sonavant.plist.tmp-0123456789ab";
    std::ofstream(leftover) << "partial";
    std::ofstream(stateLeftover) << "partial";

    auto running = platform::FolderLock::tryAcquire(data / launch::launchLockFileName);
    ASSERT_TRUE(running);
    {
        platform::LogCapture log;
        support::RecordingPresenter presenter;
        const auto claim = launch::claimAutosaveFolder(data, config, &presenter);
        EXPECT_TRUE(claim.refused);
        EXPECT_FALSE(claim.lock);
        ASSERT_EQ(presenter.alerts.size(), 1u);
        EXPECT_EQ(presenter.alerts[0].title, "Sonavant is already running.");
        EXPECT_NE(presenter.alerts[0].text.find(data.string()), std::string::npos);
        EXPECT_TRUE(log.contains("Sonavant is already running"));
        // No one sees the screen: the console alone.
        EXPECT_TRUE(launch::claimAutosaveFolder(data, config, nullptr).refused);
        EXPECT_TRUE(fs::exists(leftover));
        EXPECT_TRUE(fs::exists(stateLeftover));
    }

    running.reset();
    support::RecordingPresenter presenter;
    const auto claim = launch::claimAutosaveFolder(data, config, &presenter);
    EXPECT_FALSE(claim.refused);
    ASSERT_TRUE(claim.lock);
    EXPECT_TRUE(presenter.alerts.empty());
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_FALSE(fs::exists(stateLeftover));
    EXPECT_FALSE(platform::FolderLock::tryAcquire(data / launch::launchLockFileName));
}

// A home where no lock can be made does not stop the launch, and nothing is removed there.
TEST(SingleLaunch, NoLockAtAllLetsTheLaunchGoOn) {
    support::TempFolder home;
    std::ofstream(home / "data") << "a file where the folder should be";
    const fs::path config = home / "config";
    fs::create_directories(config);
    std::ofstream(config / ".Sonavant.plist.tmp-0123456789ab") << "partial";
    platform::LogCapture log;
    support::RecordingPresenter presenter;
    const auto claim = launch::claimAutosaveFolder(home / "data", config, &presenter);
    EXPECT_FALSE(claim.refused);
    EXPECT_FALSE(claim.lock);
    EXPECT_TRUE(presenter.alerts.empty());
    EXPECT_TRUE(log.contains("Could not make sure no other Sonavant uses"));
    EXPECT_TRUE(fs::exists(config / ".Sonavant.plist.tmp-0123456789ab"));
}
