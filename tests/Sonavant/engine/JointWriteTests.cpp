// The autosave and the working state written together off the main thread: the launch never
// grafts an older working state onto a newer autosave, the writer works from a copy taken when
// the write was asked for, and the autosave file always goes first.

#include "ShowControlTestSupport.h"

#include "Sonavant/engine/BackgroundImageBookmark.h"
#include "Sonavant/model/AppSaveContainer.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/model/AppStateTestSupport.h"
#include "platform/Files.h"
#include "platform/Serialization.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <fstream>
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
// A held disk keeps the writer at its first write until let go.
class Disk {
public:
    explicit Disk(fs::path failing = {}, bool hold = false) {
        state_->holding = hold;
        platform::setWriteFault([state = state_, failing](const fs::path& target) {
            std::unique_lock lock(state->mutex);
            state->targets.push_back(target);
            state->changed.notify_all();
            state->changed.wait(lock, [&] { return !state->holding; });
            return target == failing ? ENOSPC : 0;
        });
    }
    ~Disk() {
        letGo();
        platform::setWriteFault({});
    }
    std::vector<fs::path> written() const {
        std::lock_guard lock(state_->mutex);
        return state_->targets;
    }
    bool waitUntilHeld() {
        std::unique_lock lock(state_->mutex);
        return state_->changed.wait_for(lock, deadline, [&] { return !state_->targets.empty(); });
    }
    void letGo() {
        std::lock_guard lock(state_->mutex);
        state_->holding = false;
        state_->changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool holding = false;
        std::vector<fs::path> targets;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST_F(JointWriteTest, AWorkingStateThatFailedAfterTheAutosaveLeavesTheAutosavesShowWholeAtLaunch) {
    show->soundObjects = {source(1, 1.0, 2.0)};
    show->speakers = {speaker(1, 2, 3), speaker(2, -2, 3)};
    show->range = 6.0;
    show->panningMode = PanningMode::sine;
    // Two desks listening on ports of their own.
    MixingDesk qlab = support::mixDesk("QLab 5", 8), ds100 = support::mixDesk("D&B DS100 Matrix", 64);
    qlab.defaultPort = 53000;
    ds100.defaultPort = 50010;
    auto& v = makeWritingView();
    v.selectedDesk = qlab;
    show->selectedDesk = qlab;
    v.targetPort = std::to_string(qlab.defaultPort);
    v.zoomLevel = 150.0;
    v.pathManager->defaultTime = 8.0;
    ASSERT_TRUE(v.finishWrites());

    // The next show reaches the autosave; its working state never reaches the disk.
    show->speakers = {speaker(1, 2, 3), speaker(2, -2, 3), speaker(3, 0, 5)};
    show->soundObjects->front()->positionMeters = Point{4.0, 0.5};
    show->range = 9.0;
    show->panningMode = PanningMode::linear;
    v.zoomLevel = 175.0;
    // A desk picked: its port goes with it.
    v.selectedDesk = ds100;
    show->selectedDesk = ds100;
    v.targetPort = std::to_string(ds100.defaultPort);
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
    // The autosave's desk, at its own port, not at the port stored for the older desk.
    EXPECT_EQ(view->selectedDesk.get(), ds100);
    EXPECT_EQ(view->targetPort.get(), "50010");

    // Written together again, the working state is read over the autosave as always.
    show->range = 4.5;
    view->targetPort = "43110";
    ASSERT_TRUE(view->finishWrites());
    relaunch();
    EXPECT_EQ(show->range.get(), 4.5);
    EXPECT_EQ(show->speakers->size(), 3u);
    // The same desk in both files keeps the operator's port when the autosave is newer.
    {
        Disk disk(defaults->filePath());
        EXPECT_FALSE(view->finishWrites());
    }
    relaunch();
    EXPECT_EQ(view->selectedDesk.get(), ds100);
    EXPECT_EQ(view->targetPort.get(), "43110");
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

    // Twenty writes asked while one runs: only the last of them runs after it, and it is on
    // disk, in both files, under one stamp.
    {
        Disk disk({}, true);
        v.writeAutosaveAndWorkingState();
        ASSERT_TRUE(disk.waitUntilHeld());
        for (int i = 1; i <= 20; ++i) {
            show->range = 1.0 + i;
            v.writeAutosaveAndWorkingState();
        }
        disk.letGo();
        v.waitForWrites();
        const auto written = disk.written();
        EXPECT_EQ(std::count(written.begin(), written.end(), persistence->autosaveURL()), 2);
    }
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

// A write replaced before it started hands its removal of the background image on to the
// one that replaced it.
TEST_F(JointWriteTest, NewBlankCanvasRemovesTheBackgroundImageWhateverWriteReplacesItsOwn) {
    const fs::path image = folder.path() / "plan.png";
    std::ofstream(image) << "png";
    show->backgroundImageURL = BackgroundImageBookmark::fileURL(image.string());
    auto& v = makeWritingView();
    ASSERT_TRUE(v.finishWrites());
    {
        Disk disk({}, true);
        v.writeAutosaveAndWorkingState(); // still holds the image
        ASSERT_TRUE(disk.waitUntilHeld());
        v.newBlankCanvas();
        v.writeAutosaveAndWorkingState();
        disk.letGo();
        v.waitForWrites();
    }
    relaunch();
    EXPECT_FALSE(show->backgroundImageURL.get());
}

// Every field the autosave stores reaches it: a show unlike a default one in each of them is
// written and read back unchanged.
TEST_F(JointWriteTest, TheAutosaveHoldsEveryFieldOfTheShow) {
    show = appstate_test::fullShow();
    show->targetDeskIP = "127.0.0.9";
    auto& v = makeWritingView();
    v.pathManager->pathCues = show->pathCues.get();
    const platform::Value expected = show->encode();
    const platform::Value initial = emptyShow()->encode();
    for (const auto& name : AppState::codingKeys()) {
        const platform::Value* value = expected.find(name);
        const platform::Value* byDefault = initial.find(name); // none for an absent optional
        EXPECT_TRUE(value && (!byDefault || *value != *byDefault)) << name << " is as in a default show";
    }
    ASSERT_TRUE(v.finishWrites());
    const auto written = AppSaveContainer::decode(
        platform::readPropertyList(platform::readFile(persistence->autosaveURL())), "");
    EXPECT_EQ(written.appState->encode(), expected);
}

} // namespace
