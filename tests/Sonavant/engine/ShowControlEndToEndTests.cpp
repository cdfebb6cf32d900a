// The show-control paths over real sockets on loopback: a fake desk (or DS100) on one side,
// remote commands arriving on the view's receive port on the other.

#include "ShowControlTestSupport.h"

#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "tools/FakeDesk.h"

#include <algorithm>
#include <cmath>
#include <set>

using namespace showcontrol_test;

namespace {

class ShowControlEndToEndTest : public ShowControlFixture {
protected:
    void SetUp() override {
        ShowControlFixture::SetUp();
        tracked = source(4, 0.5, 0.5);
        show->soundObjects = {tracked};
        show->speakers = {speaker(3, 1, 1)};
    }
    void TearDown() override {
        ShowControlFixture::TearDown();
        disconnectTCP();
    }

    // Starts a view the way the application does, sending to `deskPort`.
    ContentView& start(std::uint16_t deskPort, const std::string& receivePort = "0",
                       MixingDesk desk = testDesk()) {
        auto& v = makeView("127.0.0.1", std::to_string(deskPort));
        v.selectedDesk = desk;
        show->receivePort = receivePort;
        v.saveState();
        v.cachedGeometryProxy = CanvasGeometryProxy{{1000, 600}, {}};
        v.onAppearLoad();
        EXPECT_TRUE(mainLoopUntil([&] { return ActionDispatcher::updateOSC != nullptr; }));
        // The working state brings the sources back as new objects.
        tracked = show->soundObjects.get()[0];
        return v;
    }
    std::uint16_t receivePort() const { return view->oscReceiver ? view->oscReceiver->localPort() : 0; }

    static std::optional<std::int32_t> lastLevel(const FakeDesk& desk, const std::string& address) {
        std::optional<std::int32_t> level;
        for (const auto& message : desk.messages())
            if (message.addressPattern().rawAddress() == address && !message.values().empty())
                if (auto value = message.values()[0].as<std::int32_t>())
                    level = *value;
        return level;
    }

    std::shared_ptr<SoundObject> tracked;
};

TEST_F(ShowControlEndToEndTest, StartUpSendsTheLevelOfTheOnePairOnce) {
    FakeDesk desk(false);
    start(desk.udpPort());
    ASSERT_TRUE(desk.waitForDatagrams(1, deadline));
    settle(300ms);
    EXPECT_EQ(desk.datagramCount(), 1u);
    EXPECT_EQ(desk.addresses(), std::vector<std::string>{"/ch/4/mix/3/level"});
}

TEST_F(ShowControlEndToEndTest, RemoteCommandsMoveSourcesAndLoudspeakers) {
    FakeDesk desk(false);
    auto& v = start(desk.udpPort());
    ASSERT_TRUE(v.oscReceiver);
    ASSERT_TRUE(desk.waitForDatagrams(1, deadline));
    const auto before = lastLevel(desk, "/ch/4/mix/3/level");

    desk.send(receivePort(), OSCMessage("/sonavant/track/4", {OSCValue(std::int32_t{2}), OSCValue(1.5f)}));
    ASSERT_TRUE(mainLoopUntil([&] { return tracked->positionMeters.get() == Point{2, 1.5}; }));
    EXPECT_EQ(tracked->position.get(), (Point{200, 450}));
    ASSERT_TRUE(desk.waitForDatagrams(2, deadline)) << "a new level follows";
    EXPECT_NE(lastLevel(desk, "/ch/4/mix/3/level"), before);

    desk.send(receivePort(),
              OSCMessage("/sonavant/speaker/focus/", {OSCValue(std::int32_t{3}), OSCValue(45.0f)}));
    desk.send(receivePort(),
              OSCMessage("/sonavant/speaker/width/", {OSCValue(std::int32_t{3}), OSCValue(100.5f)}));
    ASSERT_TRUE(mainLoopUntil([&] { return show->speakers.get()[0].width == 100.5; }));
    EXPECT_EQ(show->speakers.get()[0].focus, 45.0);

    desk.send(receivePort(), OSCMessage("/sonavant/speaker/position/",
                                        {OSCValue(std::int32_t{3}), OSCValue(-1.0f), OSCValue(2.0f)}));
    ASSERT_TRUE(mainLoopUntil([&] { return show->speakers.get()[0].positionMeters == Point{-1, 2}; }));
}

TEST_F(ShowControlEndToEndTest, RemoteSnapshotRecallFadesAndSendsAllTheWay) {
    FakeDesk desk(false);
    Snapshot snap;
    snap.number = 2;
    snap.recallTime = 0.6;
    snap.soundObjectStates = {SoundObjectState{tracked->id, {3, 0.5}}};
    snap.speakerStates = {SpeakerState{3, {4, 3}, 30, 90}};
    show->snapshots = {snap};
    auto& v = start(desk.udpPort());
    ASSERT_TRUE(desk.waitForDatagrams(1, deadline));
    settle(100ms);
    desk.clear();
    const auto undoBefore = AppState::undoStack.size();

    desk.send(receivePort(), OSCMessage("/sonavant/snapshot/recall/2"));
    ASSERT_TRUE(mainLoopUntil([&] { return v.isSnapshotFading(); }));
    ASSERT_TRUE(mainLoopUntil([&] { return !v.isSnapshotFading(); }));
    EXPECT_EQ(tracked->positionMeters.get(), (Point{3, 0.5}));
    EXPECT_EQ(show->speakers.get()[0].positionMeters, (Point{4, 3}));
    EXPECT_EQ(show->speakers.get()[0].focus, 30);
    EXPECT_EQ(AppState::undoStack.size(), undoBefore + 2);

    const double finalLevel = show->mixerLevels.get().at(tracked->id).at(3);
    const auto expected = static_cast<std::int32_t>(std::round(finalLevel));
    EXPECT_TRUE(eventually([&] { return lastLevel(desk, "/ch/4/mix/3/level") == expected; }))
        << "the final level reaches the desk";
    EXPECT_GE(desk.datagramCount(), 3u) << "levels go out during the fade";
}

TEST_F(ShowControlEndToEndTest, ANewReceivePortMovesTheInlet) {
    FakeDesk desk(false);
    const std::uint16_t first = freeUdpPort();
    auto& v = start(desk.udpPort(), std::to_string(first));
    ASSERT_TRUE(v.oscReceiver);
    ASSERT_EQ(receivePort(), first);

    const std::uint16_t second = freeUdpPort();
    ASSERT_NE(second, first);
    platform::LogCapture log;
    show->receivePort = std::to_string(second);
    ASSERT_TRUE(mainLoopUntil(
        [&] { return log.contains("✅ OSCReceiver restarted on port " + std::to_string(second)); }));
    EXPECT_TRUE(udpPortIsFree(first)) << "the old port no longer answers";

    desk.send(second, OSCMessage("/sonavant/track/4", {OSCValue(1.0f), OSCValue(1.0f)}));
    ASSERT_TRUE(mainLoopUntil([&] { return tracked->positionMeters.get() == Point{1, 1}; }));
    desk.send(first, OSCMessage("/sonavant/track/4", {OSCValue(2.0f), OSCValue(2.0f)}));
    settle(300ms);
    EXPECT_EQ(tracked->positionMeters.get(), (Point{1, 1}));
}

TEST_F(ShowControlEndToEndTest, PositionsAndLoudspeakersFromTheDS100) {
    FakeDesk ds100(false);
    auto three = source(3, 0, 0), one = source(1, 0, 0), threeAgain = source(3, 0, 0), two = source(2, 0, 0);
    show->soundObjects = {three, one, threeAgain, two};
    auto& v = start(ds100.udpPort());
    ASSERT_TRUE(v.oscReceiver);
    three = show->soundObjects.get()[0], one = show->soundObjects.get()[1];
    threeAgain = show->soundObjects.get()[2], two = show->soundObjects.get()[3];
    ds100.answerLikeDS100(receivePort());
    ds100.setDS100Source(2, {-1.5f, 2.25f, 0.0f});

    ActionDispatcher::invoke(ActionDispatcher::getPositionsFromDS100);
    EXPECT_EQ(v.pendingSoundObjectQueries.get(), 3);
    ASSERT_TRUE(mainLoopUntil([&] { return v.pendingSoundObjectQueries.get() == 0; }));
    // Reported (x, y) is stored at (y, -x) metres, the frame the SoundScape send defines.
    EXPECT_EQ(one->positionMeters.get(), (Point{0.5, -1}));
    EXPECT_EQ(two->positionMeters.get(), (Point{2.25, 1.5}));
    EXPECT_EQ(three->positionMeters.get(), (Point{1.5, -3}));
    EXPECT_EQ(threeAgain->positionMeters.get(), (Point{0, 0})) << "only the first with that number";
    std::vector<std::string> questions;
    for (const auto& address : ds100.addresses())
        if (address.starts_with("/dbaudio1/positioning/source_position/"))
            questions.push_back(address);
    EXPECT_EQ(questions, (std::vector<std::string>{"/dbaudio1/positioning/source_position/1",
                                                   "/dbaudio1/positioning/source_position/2",
                                                   "/dbaudio1/positioning/source_position/3"}));

    show->soundscapeSpeakers = {SoundscapeSpeaker{}};
    ActionDispatcher::invoke(ActionDispatcher::getSpeakersFromDS100);
    EXPECT_TRUE(show->soundscapeSpeakers->empty()) << "emptied before any answer";
    ASSERT_TRUE(mainLoopUntil([&] { return show->soundscapeSpeakers->size() == 64; }, 20s));
    for (const auto& reported : show->soundscapeSpeakers.get())
        EXPECT_EQ(reported.x, static_cast<float>(reported.speakerNumber));
}

TEST_F(ShowControlEndToEndTest, WhatTheDS100ReportsGoesBackToItUnchangedUnderEveryOrientation) {
    FakeDesk ds100(false);
    show->soundObjects = {source(1, 0, 0), source(2, 0, 0)};
    show->isSoundScapeMode = true;
    auto& v = start(ds100.udpPort());
    ASSERT_TRUE(v.oscReceiver);
    ds100.answerLikeDS100(receivePort());
    ds100.setDS100Source(1, {1.0f, 0.5f, 0.0f});
    const std::string one = "/dbaudio1/positioning/source_position_xy/1";
    for (CanvasOrientation orientation : allCanvasOrientations) {
        SCOPED_TRACE(rawValue(orientation));
        show->canvasOrientation = orientation;
        settle(50ms);
        ActionDispatcher::invoke(ActionDispatcher::getPositionsFromDS100);
        ASSERT_TRUE(mainLoopUntil([&] { return v.pendingSoundObjectQueries.get() <= 0; }));

        // Source 2 is dragged, then "Update OSC": source 1 goes back as it was reported.
        auto two = show->soundObjects.get()[1];
        two->positionMeters = Point{2, 1};
        two->position = metresToCanvas(orientation, Point{2, 1}, v.zoomLevel, show->zeroPoint);
        v.updateRelativeLevels();
        ds100.clear();
        ActionDispatcher::invoke(ActionDispatcher::updateOSC);
        ASSERT_TRUE(eventually([&] {
            const auto addresses = ds100.addresses();
            return std::count(addresses.begin(), addresses.end(), one) >= 1;
        }));
        for (const auto& message : ds100.messages()) {
            if (message.addressPattern().rawAddress() != one)
                continue;
            ASSERT_EQ(message.values().size(), 2u);
            EXPECT_EQ(*message.values()[0].as<float>(), 1.0f);
            EXPECT_EQ(*message.values()[1].as<float>(), 0.5f);
        }
    }
}

TEST_F(ShowControlEndToEndTest, SourceQuestionsNeedOutputAndAValidPort) {
    FakeDesk ds100(false);
    auto& v = start(ds100.udpPort());
    ds100.answerLikeDS100(receivePort());
    settle(100ms);
    show->oscOutputOn = false;
    v.querySoundObjectPositions();
    settle(300ms);
    EXPECT_EQ(v.pendingSoundObjectQueries.get(), 1) << "nothing asked, nothing answered";

    platform::LogCapture log;
    v.targetPort = "desk";
    v.querySoundObjectPositions();
    v.querySpeakerPositions();
    EXPECT_TRUE(log.contains("Invalid port for querying sound object positions."));
    EXPECT_TRUE(log.contains("Invalid port for querying speaker positions."));
}

TEST_F(ShowControlEndToEndTest, TheTCPLinkFollowsTheDeskAddressAndTheLinkCheck) {
    FakeDesk desk(true);
    auto& v = start(desk.tcpPort(), "0", testDesk(false));
    ASSERT_TRUE(desk.waitForLines(1, deadline)) << "a TCP desk gets its first level as a line";
    EXPECT_EQ(desk.lines()[0].text.rfind("/ch/3/mix/2/level ", 0), 0u);
    const auto accepted = desk.acceptedConnections();

    platform::LogCapture log;
    v.targetPort = "";
    EXPECT_TRUE(log.contains("Invalid port number: "));
    ASSERT_TRUE(desk.waitForOpenConnections(0, deadline)) << "the old connection is cancelled";

    v.targetPort = std::to_string(desk.tcpPort());
    ASSERT_TRUE(desk.waitForConnections(accepted + 1, deadline));
    ASSERT_TRUE(eventually([] {
        auto client = PersistentTCPClient::shared();
        return client && client->currentState() == PersistentTCPClient::State::Kind::ready;
    }));

    // Output on and a TCP desk: the check closes the ready link and opens a new one.
    v.checkTCPConnection();
    ASSERT_TRUE(desk.waitForConnections(accepted + 2, deadline));
    ASSERT_TRUE(eventually([] {
        auto client = PersistentTCPClient::shared();
        return client && client->currentState() == PersistentTCPClient::State::Kind::ready;
    }));
    // Output off: the next check closes it and nothing reconnects.
    show->oscOutputOn = false;
    v.checkTCPConnection();
    EXPECT_TRUE(desk.waitForOpenConnections(0, deadline));
    EXPECT_FALSE(PersistentTCPClient::shared());
}

// ---- Snapshot fades meeting Undo, Redo and remote commands (the main loop on fake time) -------

class FadeEndToEndTest : public ShowControlEndToEndTest {
protected:
    // Source 4 at (3, 3) m and loudspeaker 3 at (1, 1) m; snapshot 1 takes them to (5, 4) m and
    // (4, 3) m, focus 30 and width 90, in 0.6 s. Sources 5 and 6 are there for path cues.
    ContentView& startFading(FakeDesk& desk) {
        show->soundObjects = {source(4, 3, 3), source(5, 0, -2), source(6, 0, -3)};
        Snapshot snap;
        snap.number = 1;
        snap.recallTime = 0.6;
        snap.soundObjectStates = {SoundObjectState{show->soundObjects.get()[0]->id, {5, 4}}};
        snap.speakerStates = {SpeakerState{3, {4, 3}, 30, 90}};
        show->snapshots = {snap};
        auto& v = start(desk.udpPort());
        EXPECT_TRUE(desk.waitForDatagrams(1, deadline));
        platform::MainRunLoop::useFakeTime(true);
        return v;
    }
    void advance(double seconds) {
        platform::MainRunLoop::advance(
            std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(seconds)));
    }
    std::shared_ptr<SoundObject> sourceNumbered(std::int64_t number) const {
        for (const auto& s : show->soundObjects.get())
            if (s->number.get() == number)
                return s;
        return nullptr;
    }
    const Speaker& loudspeaker() const { return show->speakers.get().at(0); }
    // The level of source 4 on loudspeaker 3 as the program has it, and as the desk last got
    // it once nothing more arrives.
    std::int32_t programLevel() const {
        return static_cast<std::int32_t>(std::round(show->mixerLevels.get().at(sourceNumbered(4)->id).at(3)));
    }
    static std::optional<std::int32_t> deskLevel(const FakeDesk& desk) {
        std::size_t count = desk.datagramCount();
        for (int i = 0; i < 50; ++i) {
            settle(200ms);
            if (desk.datagramCount() == count)
                break;
            count = desk.datagramCount();
        }
        return lastLevel(desk, "/ch/4/mix/3/level");
    }
};

TEST_F(FadeEndToEndTest, UndoDuringARecallTakesItBackWholeAndRedoGivesItsLayout) {
    FakeDesk desk(false);
    auto& v = startFading(desk);
    EXPECT_EQ(deskLevel(desk), -41);

    v.recallSnapshot(1);
    advance(0.2);
    ASSERT_TRUE(v.isSnapshotFading());
    ASSERT_GT(sourceNumbered(4)->positionMeters->x, 3.0);
    show->undo();
    advance(0.8);
    EXPECT_FALSE(v.isSnapshotFading());
    EXPECT_EQ(sourceNumbered(4)->positionMeters.get(), (Point{3, 3}));
    EXPECT_EQ(loudspeaker().positionMeters, (Point{1, 1}));
    EXPECT_EQ(programLevel(), -41);
    EXPECT_EQ(deskLevel(desk), -41);

    show->redo();
    EXPECT_EQ(sourceNumbered(4)->positionMeters.get(), (Point{5, 4}));
    EXPECT_EQ(loudspeaker().positionMeters, (Point{4, 3}));
    EXPECT_EQ(loudspeaker().focus, 30);
    EXPECT_EQ(loudspeaker().width, 90);
    EXPECT_EQ(programLevel(), -12);
    EXPECT_EQ(deskLevel(desk), -12);
    advance(1.0);
    EXPECT_EQ(sourceNumbered(4)->positionMeters.get(), (Point{5, 4})) << "nothing of the fade is left";

    // Path cues playing across an Undo: the one the restored show holds plays on, the one it
    // does not hold stops.
    auto cueOn = [](double number, double y, std::shared_ptr<SoundObject> target) {
        auto c = cue(number);
        c->nodesMeters = {{0, y}, {4, y}};
        c->soundObjectIDs = {target->id};
        c->time = 10;
        return c;
    };
    show->undo(); // the layout before the recall, so that the recall below moves something
    ASSERT_EQ(sourceNumbered(4)->positionMeters.get(), (Point{3, 3}));
    auto kept = cueOn(1, -2, sourceNumbered(5));
    auto dropped = cueOn(2, -3, sourceNumbered(6));
    v.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{kept};
    show->saveStateForUndo();
    v.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{kept, dropped};
    auto levels = [&v] { v.updateRelativeLevels(); };
    v.pathManager->playPathCue(kept, v.zoomLevel, levels, std::nullopt);
    v.pathManager->playPathCue(dropped, v.zoomLevel, levels, std::nullopt);
    v.recallSnapshot(1);
    advance(0.3);
    show->undo(); // the recall: both cues are in the show it restores
    EXPECT_FALSE(v.isSnapshotFading());
    EXPECT_EQ(v.pathManager->playingCueIDs->size(), 2u);
    advance(0.2);
    show->undo(); // back to the show before the second cue
    EXPECT_EQ(v.pathManager->playingCueIDs.get(), std::set<platform::UUID>{kept->id});
    const Point stopped = sourceNumbered(6)->positionMeters;
    advance(1.0);
    EXPECT_NEAR(sourceNumbered(5)->positionMeters->x, 0.6, 0.03) << "plays on: 1.5 s of 10 s along 4 m";
    EXPECT_EQ(sourceNumbered(5)->positionMeters->y, -2);
    EXPECT_EQ(sourceNumbered(6)->positionMeters.get(), stopped);
}

TEST_F(FadeEndToEndTest, ARemoteCommandDuringARecallKeepsWhatItSets) {
    FakeDesk desk(false);
    auto& v = startFading(desk);
    // A cue playing source 5 keeps its own rule against a remote move.
    auto playing = cue(1);
    playing->nodesMeters = {{0, -2}, {4, -2}};
    playing->soundObjectIDs = {sourceNumbered(5)->id};
    playing->time = 10;
    v.pathManager->pathCues = std::vector<std::shared_ptr<PathCue>>{playing};
    v.pathManager->playPathCue(
        playing, v.zoomLevel, [&v] { v.updateRelativeLevels(); }, std::nullopt);
    v.recallSnapshot(1);
    advance(0.2);
    desk.send(receivePort(), OSCMessage("/sonavant/track/5", {OSCValue(9.0f), OSCValue(9.0f)}));
    desk.send(receivePort(), OSCMessage("/sonavant/track/4", {OSCValue(1.5f), OSCValue(2.5f)}));
    desk.send(receivePort(),
              OSCMessage("/sonavant/speaker/focus/", {OSCValue(std::int32_t{3}), OSCValue(45.0f)}));
    ASSERT_TRUE(mainLoopUntil([&] {
        return sourceNumbered(4)->positionMeters.get() == Point{1.5, 2.5} && loudspeaker().focus == 45;
    }));
    advance(0.8);
    EXPECT_FALSE(v.isSnapshotFading());
    EXPECT_EQ(sourceNumbered(4)->positionMeters.get(), (Point{1.5, 2.5}));
    EXPECT_EQ(loudspeaker().focus, 45);
    EXPECT_EQ(loudspeaker().positionMeters, (Point{4, 3})) << "the rest of the fade went on";
    EXPECT_EQ(loudspeaker().width, 90);
    EXPECT_NEAR(sourceNumbered(5)->positionMeters->x, 0.4, 0.03) << "1 s of 10 s along 4 m";
    EXPECT_EQ(sourceNumbered(5)->positionMeters->y, -2);
    EXPECT_EQ(programLevel(), -35);
    EXPECT_EQ(deskLevel(desk), -35);
}

} // namespace
