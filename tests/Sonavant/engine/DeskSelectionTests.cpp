#include "ShowControlTestSupport.h"
#include "Sonavant/OSC/PersistentTCPClient.h"
#include "tools/FakeDesk.h"

using namespace showcontrol_test;

namespace {

class DeskSelectionTest : public ShowControlFixture {
protected:
    // Two inputs and two loudspeakers of the test desk, close enough to get levels.
    void placeLayout() {
        const MixingDesk desk = testDesk();
        show->speakers = std::vector<Speaker>{speaker(1, 0.5, 0.5), speaker(2, 2.0, 0.5)};
        show->soundObjects =
            std::vector<std::shared_ptr<SoundObject>>{source(1, 0.6, 0.6), source(2, 1.8, 0.4)};
        show->groups =
            std::vector<ObjectGroup>{ObjectGroup{.name = "g", .speakerIDs = {1}, .soundObjectIDs = {}}};
        show->snapshots = std::vector<Snapshot>{Snapshot{}};
        show->pathCues = std::vector<std::shared_ptr<PathCue>>{cue(1)};
    }
};

} // namespace

TEST_F(DeskSelectionTest, SendsTheOldLayoutsLevelsThenClearsKeepingDeskAndSettings) {
    auto outlet = std::make_shared<RecordingOutlet>();
    auto& v = makeView("127.0.0.1", "49900", outlet);
    auto presenter = std::make_shared<RecordingPresenter>();
    v.presenter = presenter;
    placeLayout();
    show->range = 7.5;
    show->minLevel = 10;
    show->selectedSoundObject = show->soundObjects.get()[0];
    v.selectedObjects = std::set<std::string>{"speaker-1"};
    auto drawn = cue(2);
    v.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{drawn};
    v.pathManager->selectedCue = drawn;
    v.pathManager->currentPathNodes = std::vector<Point>{{1, 2}, {3, 4}};
    v.isRecordingPath = true;

    // The order observers see: levels published for the layout, then the show emptied.
    std::vector<std::string> events;
    auto levels = show->mixerLevels.observe([&](const auto& next) {
        events.push_back(next.empty() ? "levels emptied"
                                      : "levels of " + std::to_string(next.size()) + " sources");
    });
    auto speakers = show->speakers.observe([&](const auto& next) {
        if (next.empty())
            events.push_back("speakers emptied");
    });

    MixingDesk desk = testDesk();
    desk.defaultPort = 8000;
    platform::LogCapture log;
    v.selectDesk(desk);

    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0], "levels of 2 sources");
    EXPECT_EQ(events[1], "speakers emptied");
    EXPECT_EQ(v.selectedDesk.get(), desk);
    EXPECT_EQ(show->selectedDesk.get(), desk);
    EXPECT_EQ(v.targetPort.get(), "8000");
    EXPECT_EQ(show->receivePort.get(), "8001");
    EXPECT_FALSE(show->isSoundScapeMode.get());

    EXPECT_TRUE(show->speakers.get().empty());
    EXPECT_TRUE(show->soundObjects.get().empty());
    EXPECT_TRUE(show->groups.get().empty());
    EXPECT_TRUE(show->snapshots.get().empty());
    EXPECT_TRUE(show->pathCues.get().empty());
    EXPECT_TRUE(show->mixerLevels.get().empty());
    EXPECT_EQ(show->selectedSoundObject.get(), nullptr);
    EXPECT_TRUE(v.selectedObjects.get().empty());
    EXPECT_EQ(presenter->mixerCloses, 1);
    EXPECT_TRUE(v.pathManager->pathCues.get().empty());
    EXPECT_EQ(v.pathManager->selectedCue.get(), nullptr);
    EXPECT_TRUE(v.pathManager->currentPathNodes.get().empty());
    EXPECT_FALSE(v.isRecordingPath.get());
    EXPECT_DOUBLE_EQ(show->range.get(), 7.5); // settings stay
    EXPECT_EQ(show->minLevel.get(), 10);
    EXPECT_TRUE(log.contains("Canvas cleared: all cues, paths, speakers, and recording states removed while "
                             "preserving selectedDesk."));
    EXPECT_TRUE(mainLoopUntil([&] { return log.contains("✅ App state saved successfully."); }));

    // The undo entry follows the clearing: it holds the empty show.
    ASSERT_FALSE(AppState::undoStack.empty());
    EXPECT_TRUE(AppState::undoStack.back()->speakers.get().empty());

    // The staggered sends of the old layout still reach the desk after the clearing.
    EXPECT_TRUE(eventually([&] { return outlet->count() >= 4; }));
}

TEST_F(DeskSelectionTest, SoundScapeIsTheExactNameAndTheSameDeskClearsAgain) {
    auto& v = makeView("127.0.0.1", "49900", std::make_shared<RecordingOutlet>());
    MixingDesk ds100 = testDesk();
    ds100.displayName = "D&B Soundscape";
    ds100.defaultPort = 50010;
    v.selectDesk(ds100);
    EXPECT_TRUE(show->isSoundScapeMode.get());
    EXPECT_EQ(show->receivePort.get(), "50011");

    for (const char* near : {"D&B SoundScape", "D&B Soundscape ", "d&b soundscape"}) {
        MixingDesk other = ds100;
        other.displayName = near;
        v.selectDesk(other);
        EXPECT_FALSE(show->isSoundScapeMode.get()) << near;
    }

    placeLayout();
    v.selectDesk(v.selectedDesk.get().value());
    EXPECT_TRUE(show->speakers.get().empty());
}

TEST_F(DeskSelectionTest, ATcpDeskConnectsToItsDefaultPortAndAUdpDeskDropsTheLink) {
    FakeDesk peer;
    auto& v = makeView("127.0.0.1", "49900", std::make_shared<RecordingOutlet>());
    MixingDesk tcp = testDesk(false);
    tcp.defaultPort = peer.tcpPort();
    platform::LogCapture log;
    v.selectDesk(tcp);
    EXPECT_TRUE(log.contains("Reconnecting TCP connection because desk.UDP is false."));
    EXPECT_TRUE(peer.waitForConnections(1, deadline));
    ASSERT_NE(PersistentTCPClient::shared(), nullptr);

    MixingDesk udp = testDesk(true);
    udp.defaultPort = peer.udpPort();
    v.selectDesk(udp);
    EXPECT_TRUE(log.contains("Disconnecting TCP connection because OSC is toggled OFF or refresh required."));
    disconnectTCP();
}

TEST_F(DeskSelectionTest, FlagToggleIsOneAnnouncementAndLevelWatchesSaveAndSend) {
    auto outlet = std::make_shared<RecordingOutlet>();
    auto& v = makeView("127.0.0.1", "49900", outlet);
    int announcements = 0;
    auto watch = show->showSidebar.observe([&](bool) { ++announcements; });
    const bool before = show->showSidebar;
    v.toggleAppStateFlag(&AppState::showSidebar);
    EXPECT_EQ(show->showSidebar.get(), !before);
    EXPECT_EQ(announcements, 1);

    v.selectedDesk = testDesk();
    placeLayout();
    v.watchLevelSettings();
    platform::LogCapture log;
    show->range = show->range.get(); // the same value: nothing
    settle(50ms);
    EXPECT_FALSE(log.contains("App state saved"));
    show->maxLevel = 80;
    EXPECT_TRUE(mainLoopUntil([&] { return log.contains("✅ App state saved successfully."); }));
    EXPECT_TRUE(eventually([&] { return outlet->count() > 0; }));
    v.endLevelSettingWatches();
}
