// The level engine against a fake desk on loopback, through the real UDP and TCP outlets.

#include "EngineTestSupport.h"

#include "Sonavant/OSC/PersistentTCPClient.h"
#include "tools/FakeDesk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

using namespace enginetest;

namespace {

struct OnLoopback {
    FakeDesk desk{true};
    std::shared_ptr<AppState> state = firstLaunchState();
    ContentView view{state, Binding<std::string>("127.0.0.1"),
                     Binding<std::string>(std::to_string(desk.udpPort()))};

    explicit OnLoopback(MixingDesk definition = udpDesk()) {
        view.selectedDesk = definition;
        state->soundObjects = std::vector{sourceAt(1, {0, 0}, definition)};
        state->speakers = std::vector{speakerAt(1, {0, 0}, 1)};
    }
    void updates(int n) {
        for (int i = 0; i < n; ++i)
            view.updateRelativeLevels();
    }
    // Nothing more arrives for a while.
    std::size_t settledCount() {
        std::this_thread::sleep_for(200ms);
        return desk.datagramCount();
    }
};

// The one whole-number argument, or the lowest int32 when the message has another shape.
std::int32_t intArgument(const OSCMessage& message) {
    if (message.values().size() != 1 || !message.values()[0].is<std::int32_t>())
        return std::numeric_limits<std::int32_t>::min();
    return *message.values()[0].as<std::int32_t>();
}

// A desk whose every level is `level`.
MixingDesk deskAlwaysAt(const std::string& level) {
    MixingDesk desk = udpDesk();
    desk.mixOSCSendRange = DeskRangeTexts{level, level};
    return desk;
}

} // namespace

TEST(EndToEnd, ConstantPowerSourceOnItsLoudspeakerSendsZeroDecibels) {
    OnLoopback f;
    f.updates(1);
    ASSERT_TRUE(f.desk.waitForDatagrams(1, deadline));
    // lower + (upper - lower) x 80/90 = -1.11, as a whole number.
    const std::vector<std::uint8_t> expected{'/', 'c', 'h', '/', '1',  '/',  'm',  'i', 'x', '/',
                                             '1', '/', 'l', 'e', 'v',  'e',  'l',  0,   0,   0,
                                             ',', 'i', 0,   0,   0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(f.desk.datagrams()[0].bytes, expected);
}

TEST(EndToEnd, LoudspeakersAreStaggeredByTheirIds) {
    OnLoopback f;
    f.state->speakers = std::vector{speakerAt(12, {0, 0}, 2), speakerAt(1, {0, 0}, 1)};
    const auto passStart = FakeDesk::Clock::now();
    f.updates(1);
    ASSERT_TRUE(f.desk.waitForDatagrams(2, deadline));
    const auto datagrams = f.desk.datagrams();
    const auto messages = f.desk.messages();
    EXPECT_EQ(messages[0].addressPattern().description(), "/ch/1/mix/1/level");
    EXPECT_EQ(messages[1].addressPattern().description(), "/ch/1/mix/2/level");
    // Measured from the pass, not from loudspeaker 1's datagram: a loaded machine may deliver
    // that one late, but nothing can make loudspeaker 12's leave before its 120 ms.
    EXPECT_GE(datagrams[0].arrival - passStart, 10ms);
    EXPECT_GE(datagrams[1].arrival - passStart, 120ms);
}

TEST(EndToEnd, FloatDeskGetsTheLevelToTwoDecimals) {
    MixingDesk desk = deskAlwaysAt("-12.3456");
    desk.OSCFloat = true;
    OnLoopback f(desk);
    f.updates(1);
    ASSERT_TRUE(f.desk.waitForDatagrams(1, deadline));
    const auto message = f.desk.messages().at(0);
    ASSERT_EQ(message.values().size(), 1u);
    ASSERT_TRUE(message.values()[0].is<float>());
    EXPECT_EQ(*message.values()[0].as<float>(), -12.35f);
}

TEST(EndToEnd, TCPDeskGetsOneLineCountingFromZero) {
    disconnectTCP();
    MixingDesk desk = deskAlwaysAt("-12.5");
    desk.UDP = false;
    OnLoopback f(desk);
    f.view.targetPort = std::to_string(f.desk.tcpPort());
    f.updates(1);
    ASSERT_TRUE(f.desk.waitForLines(1, deadline));
    EXPECT_EQ(f.desk.lines()[0].text, "/ch/0/mix/0/level -13");
    EXPECT_EQ(f.desk.datagramCount(), 0u);
    disconnectTCP();
}

TEST(EndToEnd, UnchangedLevelsWaitForTheirRepeat) {
    OnLoopback f;
    f.updates(1);
    ASSERT_TRUE(f.desk.waitForDatagrams(1, deadline));
    f.updates(49);
    EXPECT_EQ(f.settledCount(), 1u);
    f.updates(1); // the 50th unchanged update (channel 1)
    ASSERT_TRUE(f.desk.waitForDatagrams(2, deadline));
    f.updates(50);
    EXPECT_EQ(f.settledCount(), 2u);
    f.updates(1); // every 51st from then on
    ASSERT_TRUE(f.desk.waitForDatagrams(3, deadline));
    EXPECT_EQ(f.settledCount(), 3u);
}

TEST(EndToEnd, FastMovesAreRateLimitedAndTheLastLevelArrives) {
    OnLoopback f;
    f.state->panningMode = PanningMode::linear;
    double lastLevel = 0;
    const auto movesStart = FakeDesk::Clock::now();
    for (int move = 0; move < 20; ++move) {
        const double x = 50 + move * 10;
        f.state->soundObjects->at(0)->position = Point{x, 0};
        f.updates(1);
        lastLevel = std::round(-90 + 100 * (1 - (x / 100 - 0.3) / 5));
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(eventually([&] {
        const auto messages = f.desk.messages();
        return !messages.empty() && intArgument(messages.back()) == lastLevel;
    }));
    const std::size_t count = f.settledCount();
    const auto datagrams = f.desk.datagrams();
    // Every send left between the first move and the last arrival, at most one per 30 ms
    // (one more for the edges). Measured from the moves, so a late delivery only loosens it.
    const auto span = datagrams.back().arrival - movesStart;
    EXPECT_LE(count, static_cast<std::size_t>(span / 30ms) + 1);
    EXPECT_EQ(intArgument(f.desk.messages().back()), lastLevel);
}

TEST(EndToEnd, SoundScapeSendsTurnedPositionsVerticalFirst) {
    OnLoopback f;
    f.state->isSoundScapeMode = true;
    f.state->zeroPoint = Point{100, 500};
    f.state->soundObjects->at(0)->position = Point{350, 300};
    f.updates(1);
    f.state->canvasOrientation = CanvasOrientation::right;
    f.updates(1);
    ASSERT_TRUE(f.desk.waitForDatagrams(2, deadline));
    const auto messages = f.desk.messages();
    for (const auto& message : messages) {
        EXPECT_EQ(message.addressPattern().description(), "/dbaudio1/positioning/source_position_xy/1");
        ASSERT_EQ(message.values().size(), 2u);
    }
    EXPECT_EQ(*messages[0].values()[0].as<float>(), -2.0f);
    EXPECT_EQ(*messages[0].values()[1].as<float>(), 2.5f);
    EXPECT_EQ(*messages[1].values()[0].as<float>(), -2.5f);
    EXPECT_EQ(*messages[1].values()[1].as<float>(), -2.0f);
}

TEST(EndToEnd, OutputOffSendsNothingAndRecordsNothingAsSent) {
    OnLoopback f;
    f.state->oscOutputOn = false;
    f.updates(3);
    EXPECT_EQ(f.settledCount(), 0u);
    EXPECT_TRUE(f.view.lastMappedLevels().empty());
}
