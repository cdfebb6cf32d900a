// The desk catches up: a TCP desk whose link comes back gets every level, and a remote
// position too far away for a distance still gives a result.

#include "EngineTestSupport.h"

#include "Sonavant/OSC/PersistentTCPClient.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "tools/FakeDesk.h"

#include <gtest/gtest.h>

#include <thread>

using namespace enginetest;

namespace {

// Input 1 and mix 1 under the linear law: on one spot the level is the top, 10.
struct TCPDesk {
    FakeDesk desk{true};
    std::shared_ptr<AppState> state = firstLaunchState();
    ContentView view{state, Binding<std::string>("127.0.0.1"),
                     Binding<std::string>(std::to_string(desk.tcpPort()))};

    TCPDesk() {
        disconnectTCP();
        MixingDesk definition = udpDesk();
        definition.UDP = false;
        view.selectedDesk = definition;
        state->panningMode = PanningMode::linear;
        state->soundObjects = std::vector{sourceAt(1, {0, 0}, definition)};
        state->speakers = std::vector{speakerAt(1, {0, 0}, 1)};
    }
    ~TCPDesk() { disconnectTCP(); }

    std::string lastLine() const {
        const auto lines = desk.lines();
        return lines.empty() ? std::string() : lines.back().text;
    }
    // The 10 s link check, as its timer runs it, until the desk has accepted `connections`.
    void linkCheck(std::size_t connections) {
        view.checkTCPConnection();
        ASSERT_TRUE(desk.waitForConnections(connections, deadline));
        ASSERT_TRUE(eventually([] {
            auto client = PersistentTCPClient::shared();
            return client && client->currentState().kind == PersistentTCPClient::State::Kind::ready;
        }));
    }
};

} // namespace

TEST(DeskCatchUp, ATCPDeskThatComesBackGetsEveryLevelAndAHealthyRefreshSendsNothing) {
    TCPDesk f;
    f.view.updateRelativeLevels();
    ASSERT_TRUE(f.desk.waitForLines(1, deadline));
    EXPECT_EQ(f.lastLine(), "/ch/0/mix/0/level 10");

    // The desk drops the link; the level changes meanwhile and its line is refused.
    f.desk.dropConnections();
    ASSERT_TRUE(eventually([] {
        auto client = PersistentTCPClient::shared();
        return client && !client->connection();
    }));
    f.state->soundObjects->at(0)->position = Point{100, 0}; // 1 m: share 86
    platform::LogCapture log;
    f.view.updateRelativeLevels();
    ASSERT_TRUE(eventually([&] { return log.contains("PersistentTCPClient: Connection not established"); }));
    EXPECT_EQ(f.state->mixerLevels->begin()->second.at(1), -4.0);

    // The link check connects again: the desk gets the level the program shows.
    f.linkCheck(2);
    ASSERT_TRUE(
        platform::MainRunLoop::runUntil([&] { return f.lastLine() == "/ch/0/mix/0/level -4"; }, deadline));
    const std::size_t caughtUp = f.desk.lineCount();

    // Three link checks of a healthy link (over 25 s of it) close and open it and send nothing.
    for (std::size_t connections : {3, 4, 5}) {
        f.linkCheck(connections);
        platform::MainRunLoop::runFor(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(f.desk.lineCount(), caughtUp);
}

TEST(DeskCatchUp, ARemotePositionBeyondAnyDistanceIsOutOfRangeOrRefusedForADS100) {
    Fixture f;
    f.state->soundObjects = std::vector{sourceAt(1, {0, 0}, udpDesk())};
    f.state->speakers = std::vector{speakerAt(1, {0, 0}, 1)};
    f.view.updateRelativeLevels();
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 1; }));

    // Levels: the distance overflows; the pair is as far as any source out of range.
    f.view.handleTrackPosition(1, 1e300, 1e300);
    EXPECT_EQ(f.state->soundObjects->at(0)->positionMeters.get(), (Point{1e300, 1e300}));
    EXPECT_EQ(f.state->mixerLevels->begin()->second.at(1), -90.0);
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 2; }));
    EXPECT_EQ(f.outlet->sent().back().address, "/ch/1/mix/1/level");
    EXPECT_EQ(f.outlet->sent().back().argument.storage(), OSCSendArgument::Storage(std::int64_t{-90}));

    // SoundScape: a DS100 takes no such number; the command is refused and the source stays.
    f.state->isSoundScapeMode = true;
    f.view.handleTrackPosition(1, 2.0, 1.0);
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 3; }));
    platform::LogCapture log;
    f.view.handleTrackPosition(1, 1e300, 1e300);
    EXPECT_TRUE(log.contains("❌ Ignoring track position with a non-finite value."));
    EXPECT_EQ(f.state->soundObjects->at(0)->positionMeters.get(), (Point{2.0, 1.0}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(f.outlet->count(), 3u);
}
