// The autosave and the working state written together off the main thread: the launch never
// grafts an older working state onto a newer autosave, the writer works from a copy taken when
// the write was asked for, and the autosave file always goes first.

#include "ShowControlTestSupport.h"

#include "Sonavant/model/AppSaveContainer.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "platform/Files.h"
#include "platform/Serialization.h"

#include <cerrno>
#include <mutex>

using namespace showcontrol_test;
namespace fs = std::filesystem;

namespace {

class JointWriteTest : public ShowControlFixture {
protected:
    void SetUp() override {
        ShowControlFixture::SetUp();
        persistence = std::make_unique<AppStatePersistence>(folder.path() / "data", *defaults);
    }
    void TearDown() override {
        platform::setWriteFault({});
        ShowControlFixture::TearDown();
    }

    ContentView& makeWritingView() {
        auto& v = makeView();
        v.persistence = persistence.get();
        return v;
    }

    // A new start from what is on disk: the autosave restored, then the working state read.
    ContentView& relaunch() {
        view.reset();
        defaults = std::make_unique<platform::UserDefaults>(folder.path());
        persistence = std::make_unique<AppStatePersistence>(folder.path() / "data", *defaults);
        show = persistence->restoreAutosave();
        EXPECT_TRUE(show);
        if (!show)
            show = emptyShow();
        auto& v = makeWritingView();
        restored = show->encode();
        v.loadState();
        return v;
    }

    std::unique_ptr<AppStatePersistence> persistence;
    platform::Value restored;
};

// Fails the writes of one file, as on a full disk, and lists every write in the order asked.
struct Disk {
    std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();
    std::shared_ptr<std::vector<fs::path>> targets = std::make_shared<std::vector<fs::path>>();
    explicit Disk(fs::path failing = {}) {
        platform::setWriteFault([=, mutex = mutex, targets = targets](const fs::path& target) {
            std::lock_guard lock(*mutex);
            targets->push_back(target);
            return target == failing ? ENOSPC : 0;
        });
    }
    ~Disk() { platform::setWriteFault({}); }
    std::vector<fs::path> written() const {
        std::lock_guard lock(*mutex);
        return *targets;
    }
};

TEST_F(JointWriteTest, AWorkingStateThatFailedAfterTheAutosaveLeavesTheAutosavesShowWholeAtLaunch) {
    show->soundObjects = {source(1, 1.0, 2.0)};
    show->speakers = {speaker(1, 2, 3), speaker(2, -2, 3)};
    show->range = 6.0;
    show->panningMode = PanningMode::sine;
    auto& v = makeWritingView();
    v.zoomLevel = 150.0;
    v.pathManager->defaultTime = 8.0;
    ASSERT_TRUE(v.finishWrites());

    // The next show reaches the autosave; its working state never reaches the disk.
    show->speakers = {speaker(1, 2, 3), speaker(2, -2, 3), speaker(3, 0, 5)};
    show->soundObjects->front()->positionMeters = Point{4.0, 0.5};
    show->range = 9.0;
    show->panningMode = PanningMode::linear;
    v.zoomLevel = 175.0;
    {
        Disk disk(defaults->filePath());
        EXPECT_FALSE(v.finishWrites());
        EXPECT_EQ(disk.written(), (std::vector<fs::path>{persistence->autosaveURL(), defaults->filePath()}));
    }

    relaunch();
    EXPECT_EQ(show->encode(), restored) << "the working state changed the autosave's show";
    EXPECT_EQ(show->speakers->size(), 3u);
    EXPECT_EQ(show->soundObjects->front()->positionMeters.get(), (Point{4.0, 0.5}));
    EXPECT_EQ(show->range.get(), 9.0);
    EXPECT_EQ(show->panningMode.get(), PanningMode::linear);
    // The view's own values still come from the working state.
    EXPECT_EQ(view->zoomLevel.get(), 150.0);
    EXPECT_EQ(view->pathManager->defaultTime.get(), 8.0);
    EXPECT_EQ(view->targetDeskIP.get(), "127.0.0.1");

    // Written together again, the working state is read over the autosave as always.
    show->range = 4.5;
    ASSERT_TRUE(view->finishWrites());
    relaunch();
    EXPECT_EQ(show->range.get(), 4.5);
    EXPECT_EQ(show->speakers->size(), 3u);
}

TEST_F(JointWriteTest, AWriteHoldsTheShowAsItWasAskedForAndANewerOneReplacesOneNotStarted) {
    show->soundObjects = {source(1, 1.0, 2.0)};
    show->speakers = {speaker(1, 2, 3)};
    show->pathCues = std::vector{cue(1)};
    auto& v = makeWritingView();
    v.pathManager->pathCues = show->pathCues.get();
    const platform::Value asked = show->encode();
    v.writeAutosaveAndWorkingState();
    // Changed on the main thread while the writer may still be at work.
    show->soundObjects->front()->positionMeters = Point{-7, -7};
    show->pathCues->front()->nodesMeters.push_back(Point{9, 9});
    show->speakers = std::vector<Speaker>{};
    v.waitForWrites();
    auto written = AppSaveContainer::decode(
        platform::readPropertyList(platform::readFile(persistence->autosaveURL())), "");
    EXPECT_EQ(written.appState->encode(), asked);

    // Many writes asked in a row: the last one is on disk, in both files, under one stamp.
    for (int i = 1; i <= 20; ++i) {
        show->range = 1.0 + i;
        v.writeAutosaveAndWorkingState();
    }
    v.waitForWrites();
    written = AppSaveContainer::decode(
        platform::readPropertyList(platform::readFile(persistence->autosaveURL())), "");
    EXPECT_EQ(written.appState->range.get(), 21.0);
    platform::UserDefaults onDisk(folder.path());
    EXPECT_EQ(onDisk.real("savedRange"), std::optional(21.0));
    ASSERT_TRUE(written.writeStamp);
    EXPECT_EQ(onDisk.integer("savedWriteStamp"), written.writeStamp);
}

TEST_F(JointWriteTest, SavedIsSaidOnceTheWorkingStateIsOnDiskAndOnlyThen) {
    const std::string saved = "✅ App state saved successfully.";
    platform::LogCapture log;
    auto& v = makeWritingView();
    {
        Disk disk(defaults->filePath());
        EXPECT_FALSE(v.finishWrites());
    }
    EXPECT_EQ(countLines(log, saved), 0u);
    v.saveState(); // in the store, not on disk yet
    EXPECT_EQ(countLines(log, saved), 0u);
    EXPECT_TRUE(v.finishWrites());
    EXPECT_EQ(countLines(log, saved), 1u);
}

// The stamp sits beside the version of the autosave only: a show saved with Save As is the
// document it always was.
TEST_F(JointWriteTest, OnlyTheAutosaveCarriesTheStamp) {
    auto& v = makeWritingView();
    ASSERT_TRUE(v.finishWrites());
    const auto autosave = platform::readPropertyList(platform::readFile(persistence->autosaveURL()));
    EXPECT_TRUE(autosave.find("writeStamp"));
    EXPECT_TRUE(autosave.find("version"));
    const fs::path saved = folder.path() / "show.sonavant";
    persistence->saveState(*show, saved);
    const auto document = platform::readPropertyList(platform::readFile(saved));
    EXPECT_FALSE(document.find("writeStamp"));
    EXPECT_FALSE(AppSaveContainer::decode(document, "").writeStamp);
}

} // namespace
