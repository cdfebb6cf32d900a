// The main run loop: the main queue, run-loop timers, headless driving and fake time.
#include "platform/Dispatch.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 10s;

class RunLoopTest : public ::testing::Test {
protected:
    void TearDown() override {
        MainRunLoop::useFakeTime(false);
        MainRunLoop::setWaker(nullptr);
        MainRunLoop::runOnce();
    }
};

TEST_F(RunLoopTest, TheTestThreadIsTheMainThread) {
    EXPECT_TRUE(MainRunLoop::isMainThread());
    EXPECT_TRUE(DispatchQueue::main()->isCurrent());
    bool onWorker = true;
    std::thread([&] { onWorker = MainRunLoop::isMainThread() || DispatchQueue::main()->isCurrent(); }).join();
    EXPECT_FALSE(onWorker);
}

TEST_F(RunLoopTest, MainQueueBlocksFromAnyThreadRunOnTheMainThreadInOrder) {
    std::vector<int> order; // main thread only
    bool allOnMain = true;
    std::thread producer([&] {
        for (int i = 0; i < 100; ++i)
            DispatchQueue::main()->async([&, i] {
                allOnMain = allOnMain && MainRunLoop::isMainThread();
                order.push_back(i);
            });
    });
    producer.join();
    EXPECT_TRUE(order.empty()) << "blocks wait for the loop";
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return order.size() == 100; }, kDeadline));
    EXPECT_TRUE(allOnMain);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}

TEST_F(RunLoopTest, NestedDrivingKeepsFirstInFirstOut) {
    std::vector<int> order;
    DispatchQueue::main()->async([&] {
        order.push_back(1);
        DispatchQueue::main()->async([&] { order.push_back(4); });
        // A nested loop (as under a modal dialog) runs the blocks queued before the one after.
        MainRunLoop::runUntil([&] { return order.size() == 4; }, kDeadline);
    });
    DispatchQueue::main()->async([&] { order.push_back(2); });
    DispatchQueue::main()->async([&] { order.push_back(3); });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return order.size() == 4; }, kDeadline));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(RunLoopTest, RunUntilReturnsFalseWhenTheDeadlinePasses) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MainRunLoop::runUntil([] { return false; }, 30ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    EXPECT_TRUE(MainRunLoop::runUntil([] { return true; }, 0ms));
}

TEST_F(RunLoopTest, SyncOntoTheMainQueueFromAWorker) {
    std::atomic<int> result{0};
    DispatchQueue::global()->async([&] {
        result = DispatchQueue::main()->syncResult([] { return MainRunLoop::isMainThread() ? 7 : -1; });
    });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return result.load() != 0; }, kDeadline));
    EXPECT_EQ(result.load(), 7);
}

TEST_F(RunLoopTest, SerialQueueAndMainQueuePingPong) {
    auto queue = DispatchQueue::makeSerial("pingpong");
    int count = 0; // main thread only
    std::function<void()> ping;
    ping = [&] {
        queue->async([&] {
            DispatchQueue::main()->async([&] {
                if (++count < 50)
                    ping();
            });
        });
    };
    ping();
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return count == 50; }, kDeadline));
}

TEST_F(RunLoopTest, RealTimeRunLoopTimers) {
    int repeats = 0;
    auto repeating = RunLoopTimer::scheduled(5ms, true, [&](RunLoopTimer& t) {
        EXPECT_TRUE(MainRunLoop::isMainThread());
        if (++repeats == 3)
            t.invalidate();
    });
    int once = 0;
    auto oneShot = RunLoopTimer::scheduled(10ms, false, [&](RunLoopTimer&) { ++once; });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return repeats == 3 && once == 1; }, kDeadline));
    MainRunLoop::runFor(30ms);
    EXPECT_EQ(repeats, 3);
    EXPECT_EQ(once, 1);
    EXPECT_FALSE(repeating->isValid());
    EXPECT_FALSE(oneShot->isValid());
}

TEST_F(RunLoopTest, FakeTimeDrivesRepeatingTimers) {
    MainRunLoop::useFakeTime(true);
    const double start = MainRunLoop::now();
    std::vector<double> fireTimes;
    auto timer = RunLoopTimer::scheduled(
        1s, true, [&](RunLoopTimer&) { fireTimes.push_back(MainRunLoop::now() - start); });
    MainRunLoop::runFor(20ms); // real time passing does not move fake time
    EXPECT_TRUE(fireTimes.empty());
    MainRunLoop::advance(3500ms);
    ASSERT_EQ(fireTimes.size(), 3u);
    EXPECT_NEAR(fireTimes[0], 1.0, 1e-6);
    EXPECT_NEAR(fireTimes[1], 2.0, 1e-6);
    EXPECT_NEAR(fireTimes[2], 3.0, 1e-6);
    EXPECT_NEAR(MainRunLoop::now() - start, 3.5, 1e-6);
    timer->invalidate();
    MainRunLoop::advance(5s);
    EXPECT_EQ(fireTimes.size(), 3u);
}

TEST_F(RunLoopTest, FakeTimeFiresTimersInDeadlineOrder) {
    MainRunLoop::useFakeTime(true);
    std::vector<std::string> order;
    auto c = RunLoopTimer::scheduled(3s, false, [&](RunLoopTimer&) { order.push_back("3s"); });
    auto a = RunLoopTimer::scheduled(1s, false, [&](RunLoopTimer&) { order.push_back("1s"); });
    auto b = RunLoopTimer::scheduled(2s, false, [&](RunLoopTimer&) { order.push_back("2s"); });
    auto r = RunLoopTimer::scheduled(1500ms, true, [&](RunLoopTimer&) { order.push_back("r"); });
    MainRunLoop::advance(3100ms);
    EXPECT_EQ(order, (std::vector<std::string>{"1s", "r", "2s", "3s", "r"}));
    EXPECT_FALSE(a->isValid());
    EXPECT_TRUE(r->isValid());
    r->invalidate();
}

TEST_F(RunLoopTest, OneShotTimerInvalidatedBeforeItIsDueNeverFires) {
    MainRunLoop::useFakeTime(true);
    int fired = 0;
    auto timer = RunLoopTimer::scheduled(1s, false, [&](RunLoopTimer&) { ++fired; });
    MainRunLoop::advance(500ms);
    timer->invalidate();
    MainRunLoop::advance(2s);
    EXPECT_EQ(fired, 0);
}

TEST_F(RunLoopTest, TimerInvalidatingAnotherDueTimerInTheSamePass) {
    MainRunLoop::useFakeTime(true);
    int secondFired = 0;
    RunLoopTimerPtr second;
    auto first = RunLoopTimer::scheduled(1s, false, [&](RunLoopTimer&) { second->invalidate(); });
    second = RunLoopTimer::scheduled(1s, false, [&](RunLoopTimer&) { ++secondFired; });
    MainRunLoop::advance(2s);
    EXPECT_EQ(secondFired, 0);
}

TEST_F(RunLoopTest, FireRunsTheBlockNow) {
    MainRunLoop::useFakeTime(true);
    int fired = 0;
    auto repeating = RunLoopTimer::scheduled(10s, true, [&](RunLoopTimer&) { ++fired; });
    repeating->fire();
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(repeating->isValid());
    MainRunLoop::advance(10s);
    EXPECT_EQ(fired, 2);
    repeating->invalidate();
    repeating->fire();
    EXPECT_EQ(fired, 2);

    int once = 0;
    auto oneShot = RunLoopTimer::scheduled(10s, false, [&](RunLoopTimer&) { ++once; });
    oneShot->fire();
    EXPECT_FALSE(oneShot->isValid());
    MainRunLoop::advance(20s);
    EXPECT_EQ(once, 1);
}

TEST_F(RunLoopTest, TheLoopKeepsAScheduledTimer) {
    MainRunLoop::useFakeTime(true);
    int fired = 0;
    std::weak_ptr<RunLoopTimer> weak;
    {
        auto timer = RunLoopTimer::scheduled(1s, true, [&](RunLoopTimer& t) {
            if (++fired == 2)
                t.invalidate();
        });
        weak = timer;
    }
    EXPECT_FALSE(weak.expired());
    MainRunLoop::advance(5s);
    EXPECT_EQ(fired, 2);
    EXPECT_TRUE(weak.expired());
}

TEST_F(RunLoopTest, MainQueueDelaysAndDispatchTimersFollowFakeTime) {
    MainRunLoop::useFakeTime(true);
    std::vector<std::string> log;
    DispatchQueue::main()->asyncAfter(5s, [&] { log.push_back("after 5s"); });
    auto timer = DispatchTimer::make(DispatchQueue::main());
    timer->setEventHandler([&] { log.push_back("tick"); });
    timer->setCancelHandler([&] { log.push_back("cancel"); });
    timer->schedule(2s, 2s, 10ms);
    timer->resume();
    MainRunLoop::advance(4s);
    EXPECT_EQ(log, (std::vector<std::string>{"tick", "tick"}));
    MainRunLoop::advance(1s);
    EXPECT_EQ(log, (std::vector<std::string>{"tick", "tick", "after 5s"}));
    timer->cancel();
    MainRunLoop::advance(10s);
    EXPECT_EQ(log, (std::vector<std::string>{"tick", "tick", "after 5s", "cancel"}));
}

TEST_F(RunLoopTest, MainQueueBlockQueuedByATimerRunsWithinAdvance) {
    MainRunLoop::useFakeTime(true);
    std::vector<double> times;
    const double start = MainRunLoop::now();
    auto timer = RunLoopTimer::scheduled(50ms, true, [&](RunLoopTimer&) {
        DispatchQueue::main()->async([&] { times.push_back(MainRunLoop::now() - start); });
    });
    MainRunLoop::advance(200ms);
    timer->invalidate();
    ASSERT_EQ(times.size(), 4u);
    EXPECT_NEAR(times[0], 0.05, 1e-6);
    EXPECT_NEAR(times[3], 0.20, 1e-6);
}

TEST_F(RunLoopTest, NextDeadline) {
    MainRunLoop::useFakeTime(true);
    MainRunLoop::runOnce();
    EXPECT_LT(MainRunLoop::nextDeadline(), 0.0);
    auto timer = RunLoopTimer::scheduled(2s, false, [](RunLoopTimer&) {});
    EXPECT_NEAR(MainRunLoop::nextDeadline(), 2.0, 1e-6);
    MainRunLoop::advance(500ms);
    EXPECT_NEAR(MainRunLoop::nextDeadline(), 1.5, 1e-6);
    DispatchQueue::main()->async([] {});
    EXPECT_EQ(MainRunLoop::nextDeadline(), 0.0);
    MainRunLoop::runOnce();
    timer->invalidate();
    EXPECT_LT(MainRunLoop::nextDeadline(), 0.0);
}

struct CountingWaker : MainRunLoop::Waker {
    std::atomic<int> wakes{0};
    std::mutex mutex;
    std::vector<double> scheduled;
    void wake() override { wakes.fetch_add(1); }
    void scheduleAt(double seconds) override {
        std::lock_guard lock(mutex);
        scheduled.push_back(seconds);
    }
};

TEST_F(RunLoopTest, WakerHearsOfWorkAndOfTheNextDeadline) {
    MainRunLoop::useFakeTime(true);
    CountingWaker waker;
    MainRunLoop::setWaker(&waker);
    std::thread([] { DispatchQueue::main()->async([] {}); }).join();
    EXPECT_GE(waker.wakes.load(), 1);
    MainRunLoop::runOnce();
    const double now = MainRunLoop::now();
    auto timer = RunLoopTimer::scheduled(3s, false, [](RunLoopTimer&) {});
    {
        std::lock_guard lock(waker.mutex);
        ASSERT_FALSE(waker.scheduled.empty());
        EXPECT_NEAR(waker.scheduled.back(), now + 3.0, 1e-3);
    }
    // A timer added from another thread wakes the loop so it can plan again.
    const int before = waker.wakes.load();
    std::thread([] { DispatchQueue::main()->asyncAfter(1s, [] {}); }).join();
    EXPECT_GT(waker.wakes.load(), before);
    MainRunLoop::runOnce();
    {
        std::lock_guard lock(waker.mutex);
        EXPECT_NEAR(waker.scheduled.back(), now + 1.0, 1e-3);
    }
    timer->invalidate();
    MainRunLoop::setWaker(nullptr);
    MainRunLoop::advance(2s);
}

} // namespace
