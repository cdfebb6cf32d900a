#include "EngineTestSupport.h"

#include "platform/Log.h"

#include <gtest/gtest.h>

#include <limits>

using namespace enginetest;
using Clock = SendTimeTable::Clock;

namespace {

// One source on one loudspeaker, throttle off so every decision reaches the outlet.
struct OnePair : Fixture {
    explicit OnePair(std::int64_t channel = 1) {
        state->speakers = std::vector{speakerAt(1, {0, 0}, channel)};
        state->soundObjects = std::vector{sourceAt(1, {0, 0}, udpDesk())};
        view.disableOSCThrottling->set(true);
        state->panningMode =
            PanningMode::linear; // one loudspeaker alone is always full under "Constant Power"
    }
    void updates(int n) {
        for (int i = 0; i < n; ++i)
            view.updateRelativeLevels();
    }
    // n sends arrive, and no more within a while (the stagger of loudspeaker 1 is 10 ms).
    bool sendsSettleAt(std::size_t n) {
        if (!eventually([&] { return outlet->count() >= n; }))
            return false;
        std::this_thread::sleep_for(50ms);
        return outlet->count() == n;
    }
};

} // namespace

TEST(SendDecision, UnchangedLevelsRepeatEveryChannelPlusFiftyUpdates) {
    OnePair f(1);
    f.updates(1);
    ASSERT_TRUE(f.sendsSettleAt(1));
    f.updates(49);
    ASSERT_TRUE(f.sendsSettleAt(1));
    f.updates(1); // the 50th unchanged update
    ASSERT_TRUE(f.sendsSettleAt(2));
    f.updates(50);
    ASSERT_TRUE(f.sendsSettleAt(2));
    f.updates(1); // then every 51st
    ASSERT_TRUE(f.sendsSettleAt(3));
    EXPECT_EQ(f.view.lastMappedLevels().begin()->second.count, 0);

    // A new level goes out at once and restarts the count.
    f.state->soundObjects->at(0)->position = Point{400, 0};
    f.updates(1);
    ASSERT_TRUE(f.sendsSettleAt(4));
    EXPECT_EQ(f.view.lastMappedLevels().begin()->second.count, 1);
}

TEST(SendDecision, ChannelMinusFiftyRepeatsWithoutDividingByZero) {
    EXPECT_EQ(repeatDivisor(-50), 50);
    EXPECT_EQ(repeatDivisor(1), 51);
    EXPECT_EQ(repeatDivisor(std::numeric_limits<std::int64_t>::max()), 50);
    EXPECT_EQ(repeatDivisor(-60), -10);

    OnePair f(-50);
    f.updates(1);
    ASSERT_TRUE(f.sendsSettleAt(1));
    f.updates(48);
    ASSERT_TRUE(f.sendsSettleAt(1));
    f.updates(1); // the 49th unchanged update: count 50
    ASSERT_TRUE(f.sendsSettleAt(2));
}

TEST(SendDecision, OutputOffRecordsNothingAndSwitchingOnCatchesUp) {
    OnePair f;
    f.state->oscOutputOn = false;
    f.updates(3);
    EXPECT_TRUE(f.view.lastMappedLevels().empty()) << "nothing counts as sent while off";

    // On again by other means than the switch (a .dbpr import's own off and on): the next
    // pass sends what the desk has not had, and nothing more.
    f.state->oscOutputOn = true;
    EXPECT_EQ(f.outlet->count(), 0u);
    f.updates(2);
    ASSERT_TRUE(f.sendsSettleAt(1));
    EXPECT_EQ(f.outlet->sent()[0].address, "/ch/1/mix/1/level");

    // The operator's switch: off, a move, on: the final level goes out once, at once.
    f.view.setOSCOutput(false);
    f.state->soundObjects->at(0)->position = Point{400, 0};
    f.updates(1);
    f.view.setOSCOutput(true);
    ASSERT_TRUE(f.sendsSettleAt(2));
    f.view.setOSCOutput(true); // already on: no second resend
    ASSERT_TRUE(f.sendsSettleAt(2));
    auto level = [&](std::size_t i) {
        return std::get<std::int64_t>(f.outlet->sent()[i].argument.storage());
    };
    EXPECT_NE(level(1), level(0)) << "the level after the move";

    // "Update OSC" with nothing changed: the pair once more, and the repeat count restarts.
    f.view.sendEveryPairOnce();
    ASSERT_TRUE(f.sendsSettleAt(3));
    EXPECT_EQ(level(2), level(1));
    EXPECT_EQ(f.view.lastMappedLevels().begin()->second.count, 1);
}

TEST(SendDecision, AHeldSendDoesNotLeaveOnceOutputIsOff) {
    // On the table, with times of our own: the held send reads the switch when it leaves.
    SendTimeTable table;
    const auto interval = std::chrono::milliseconds(30);
    const auto t0 = SendTimeTable::Clock::now();
    auto outputOn = std::make_shared<LockedValue<bool>>(true);
    int sent = 0;
    SendTimeTable::Release first = [&] { ++sent; };
    ASSERT_EQ(table.admit("k", 1, t0, interval, true, first).verdict, SendTimeTable::Verdict::send);
    auto held = heldUntilOutputOn(outputOn, [&] { ++sent; });
    ASSERT_EQ(table.admit("k", 2, t0 + 5ms, interval, true, held).verdict, SendTimeTable::Verdict::holdFirst);
    outputOn->set(false);
    auto due = table.release("k", t0 + 40ms, interval);
    ASSERT_TRUE(due.send);
    due.send();
    EXPECT_EQ(sent, 0) << "the held send left with output off";

    // Through the view, with a send of the test's own stamped an hour ahead: every send the
    // view decides is held, however long the machine takes, and leaves only when the test
    // releases it.
    OnePair f;
    f.view.disableOSCThrottling->set(false);
    const std::string key = DestinationKey{f.state->soundObjects->at(0)->id, 1}.text();
    const auto ahead = SendTimeTable::Clock::now() + 1h;
    SendTimeTable::Release ours = [] {};
    ASSERT_EQ(f.view.lastSendTime->admit(key, 0, ahead, interval, true, ours).verdict,
              SendTimeTable::Verdict::send);
    f.updates(1);
    ASSERT_TRUE(eventually([&] { return f.view.lastSendTime->heldCount() == 1; }));
    f.view.setOSCOutput(false);
    auto viewDue = f.view.lastSendTime->release(key, ahead + interval, interval);
    ASSERT_TRUE(viewDue.send);
    viewDue.send();
    EXPECT_EQ(f.outlet->count(), 0u) << "the view's held send left with output off";
    // With output on, the same kind of held send does leave.
    f.view.setOSCOutput(true);
    f.state->soundObjects->at(0)->position = Point{400, 0};
    f.updates(1);
    ASSERT_TRUE(eventually([&] { return f.view.lastSendTime->heldCount() == 1; }));
    auto onDue = f.view.lastSendTime->release(key, ahead + 2 * interval, interval);
    ASSERT_TRUE(onDue.send);
    onDue.send();
    EXPECT_EQ(f.outlet->count(), 1u);

    // Output on throughout: the newer level reaches the desk last. The two staggered sends
    // may reach the table in either order; an older one arriving second is dropped, not sent.
    OnePair moved;
    moved.state->soundObjects->at(0)->position = Point{400, 0};
    moved.updates(1);
    ASSERT_TRUE(moved.sendsSettleAt(1));
    OnePair g;
    g.view.disableOSCThrottling->set(false);
    g.updates(1);
    g.state->soundObjects->at(0)->position = Point{400, 0};
    g.updates(1);
    const auto movedLevel = moved.outlet->sent()[0].argument.storage();
    auto lastIsMoved = [&] {
        const auto sent = g.outlet->sent();
        return !sent.empty() && sent.back().argument.storage() == movedLevel;
    };
    ASSERT_TRUE(eventually([&] { return lastIsMoved() && g.view.lastSendTime->heldCount() == 0; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(lastIsMoved());
    EXPECT_LE(g.outlet->count(), 2u);
}

TEST(SendDecision, WaitingSendsGoToTheAddressOfTheMomentTheyRun) {
    OnePair f;
    f.state->speakers = std::vector{speakerAt(20, {0, 0}, 1)}; // 200 ms stagger
    f.updates(1);
    f.state->oscOutputOn = false;
    f.view.targetDeskIP = "127.0.0.2";
    ASSERT_TRUE(f.sendsSettleAt(1));
    EXPECT_EQ(f.outlet->sent()[0].host, "127.0.0.2");
    EXPECT_EQ(f.outlet->sent()[0].port, 49900);
}

TEST(SendTimeTable, HoldsTheNewestThrottledSendAndReleasesItAfterTheInterval) {
    SendTimeTable table;
    const auto interval = std::chrono::milliseconds(30);
    const auto t0 = Clock::now();
    int delivered = 0;
    auto sendOf = [&](int v) { return SendTimeTable::Release([&delivered, v] { delivered = v; }); };

    auto first = sendOf(1);
    EXPECT_EQ(table.admit("k", 1, t0, interval, true, first).verdict, SendTimeTable::Verdict::send);
    auto second = sendOf(2);
    const auto held = table.admit("k", 2, t0 + std::chrono::milliseconds(10), interval, true, second);
    EXPECT_EQ(held.verdict, SendTimeTable::Verdict::holdFirst);
    EXPECT_EQ(held.wait, std::chrono::milliseconds(20));
    auto third = sendOf(3);
    EXPECT_EQ(table.admit("k", 3, t0 + std::chrono::milliseconds(20), interval, true, third).verdict,
              SendTimeTable::Verdict::held);
    auto stale = sendOf(99); // decided before the held one
    EXPECT_EQ(table.admit("k", 2, t0 + std::chrono::milliseconds(21), interval, true, stale).verdict,
              SendTimeTable::Verdict::dropped);
    EXPECT_EQ(table.heldCount(), 1u);

    // Too early: wait again. On time: the newest goes, stamped, and the key is free.
    auto early = table.release("k", t0 + std::chrono::milliseconds(25), interval);
    EXPECT_FALSE(early.send);
    ASSERT_TRUE(early.waitAgain);
    auto due = table.release("k", t0 + std::chrono::milliseconds(30), interval);
    ASSERT_TRUE(due.send);
    due.send();
    EXPECT_EQ(delivered, 3);
    EXPECT_EQ(table.lastSendTime("k"), t0 + std::chrono::milliseconds(30));
    EXPECT_FALSE(table.release("k", t0 + std::chrono::milliseconds(90), interval).send);

    // A newer send passing on its own makes a held older one pointless.
    auto a = sendOf(4), b = sendOf(5);
    table.admit("k", 4, t0 + std::chrono::milliseconds(40), interval, true, a);
    EXPECT_EQ(table.admit("k", 5, t0 + std::chrono::milliseconds(70), interval, true, b).verdict,
              SendTimeTable::Verdict::send);
    EXPECT_EQ(table.heldCount(), 0u);

    // Throttling off: nothing waits, every send is stamped.
    auto c = sendOf(6);
    EXPECT_EQ(table.admit("k", 6, t0 + std::chrono::milliseconds(71), interval, false, c).verdict,
              SendTimeTable::Verdict::send);
    EXPECT_EQ(table.lastSendTime("k"), t0 + std::chrono::milliseconds(71));
}

TEST(SendLevelToDesk, ThrottledLevelIsLoggedAndTheLastOneStillArrives) {
    Fixture f;
    platform::LogCapture log;
    const std::string key = "5E1D5B0C-0000-4000-8000-000000000001-1";
    f.view.sendLevelToDesk(key, udpDesk(), "/a", 9000, -10);
    f.view.sendLevelToDesk(key, udpDesk(), "/a", 9000, -11);
    f.view.sendLevelToDesk(key, udpDesk(), "/a", 9000, -12);
    EXPECT_TRUE(log.contains("Throttling update for key " + key + "; skipping send."));
    ASSERT_TRUE(eventually([&] { return f.outlet->count() == 2; }));
    const auto sent = f.outlet->sent();
    EXPECT_EQ(std::get<std::int64_t>(sent[0].argument.storage()), -10);
    EXPECT_EQ(std::get<std::int64_t>(sent[1].argument.storage()), -12);
    EXPECT_GE(sent[1].at - sent[0].at, std::chrono::milliseconds(29));
}

TEST(SendLevelToDesk, FormatsForTheTransportAndRefusesWhatDoesNotFit) {
    Fixture f;
    f.view.disableOSCThrottling->set(true);
    MixingDesk tcp = udpDesk();
    tcp.UDP = false;
    MixingDesk floats = udpDesk();
    floats.OSCFloat = true;
    platform::LogCapture log;

    f.view.sendLevelToDesk("k", tcp, "/ch/0/mix/0/level", 9000, -12.5);
    f.view.sendLevelToDesk("k", floats, "/f", 9000, -12.3456);
    f.view.sendLevelToDesk("k", udpDesk(), "/i", 9000, 2.5);
    // Beyond a 32-bit argument, beyond a float, or undefined: refused, never rounded.
    f.view.sendLevelToDesk("k", udpDesk(), "/big", 9000, 3e9);
    f.view.sendLevelToDesk("k", tcp, "/big", 9000, -3e9);
    f.view.sendLevelToDesk("k", floats, "/big", 9000, 1e300);
    f.view.sendLevelToDesk("k", udpDesk(), "/nan", 9000, std::nan(""));

    const auto sent = f.outlet->sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_FALSE(sent[0].udp);
    EXPECT_EQ(sent[0].text, "/ch/0/mix/0/level -13\n");
    EXPECT_EQ(std::get<double>(sent[1].argument.storage()), -12.3456);
    EXPECT_EQ(std::get<std::int64_t>(sent[2].argument.storage()), 3); // halves away from zero
    EXPECT_TRUE(log.contains("Desk UDP property is false – sending via TCP."));
    EXPECT_TRUE(log.contains("Formatted mapped level (as whole number): -13"));
    EXPECT_TRUE(log.contains("Constructed TCP message: /ch/0/mix/0/level -13\n"));
    EXPECT_TRUE(log.contains("does not fit the desk's argument; not sent."));
}
