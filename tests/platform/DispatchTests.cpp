// Dispatch queues, work items, queue-specific keys and dispatch timers.
#include "platform/Dispatch.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace platform;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 10s; // generous: only a hang fails on it

// Waits on the test's main thread (which also services the main queue).
bool waitFor(const std::function<bool()>& pred, Duration timeout = kDeadline) {
    return MainRunLoop::runUntil(pred, timeout);
}

TEST(DispatchQueue, LabelsAndKinds) {
    auto queue = DispatchQueue::makeSerial("com.sonavant.test.labels");
    EXPECT_EQ(queue->label(), "com.sonavant.test.labels");
    EXPECT_EQ(queue->kind(), DispatchQueue::Kind::serial);
    EXPECT_EQ(DispatchQueue::global()->kind(), DispatchQueue::Kind::concurrent);
    EXPECT_EQ(DispatchQueue::global(QoS::background)->kind(), DispatchQueue::Kind::concurrent);
    EXPECT_EQ(DispatchQueue::main()->kind(), DispatchQueue::Kind::main);
    EXPECT_EQ(DispatchQueue::global(QoS::userInitiated), DispatchQueue::global(QoS::userInitiated));
    EXPECT_NE(DispatchQueue::global(QoS::userInitiated), DispatchQueue::global(QoS::defaultQoS));
    EXPECT_EQ(DispatchQueue::main(), DispatchQueue::main());
}

TEST(DispatchQueue, SerialQueueKeepsOrderUnderConcurrentProducers) {
    auto queue = DispatchQueue::makeSerial("order");
    constexpr int kProducers = 6;
    constexpr int kPerProducer = 3000;
    std::vector<std::vector<int>> seen(kProducers); // touched only on the queue
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    std::atomic<int> total{0};

    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                queue->async([&, p, i] {
                    if (inside.fetch_add(1) != 0)
                        overlap = true;
                    seen[p].push_back(i);
                    inside.fetch_sub(1);
                    total.fetch_add(1);
                });
            }
        });
    }
    for (auto& t : producers)
        t.join();
    ASSERT_TRUE(waitFor([&] { return total.load() == kProducers * kPerProducer; }));
    queue->sync([] {}); // the last block has returned
    EXPECT_FALSE(overlap.load());
    for (int p = 0; p < kProducers; ++p) {
        ASSERT_EQ(seen[p].size(), static_cast<std::size_t>(kPerProducer));
        EXPECT_TRUE(std::is_sorted(seen[p].begin(), seen[p].end())) << "producer " << p;
    }
}

// Threads of this process whose name is `name`.
int threadsNamed(const std::string& name) {
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        count += std::getline(comm, line) && line == name;
    }
    return count;
}

TEST(DispatchQueue, AQueueOnItsOwnThreadKeepsOrderOnThatThreadAndEndsItWithTheQueue) {
    const std::string label = "own.thread.test";
    auto queue = DispatchQueue::makeSerialOnOwnThread(label, QoS::userInteractive);
    constexpr int kProducers = 3, kPerProducer = 2000;
    std::vector<std::vector<int>> seen(kProducers);
    std::set<std::thread::id> threads; // touched only on the queue
    std::atomic<int> total{0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i)
                queue->async([&, p, i] {
                    seen[p].push_back(i);
                    threads.insert(std::this_thread::get_id());
                    total.fetch_add(1);
                });
        });
    for (auto& t : producers)
        t.join();
    ASSERT_TRUE(waitFor([&] { return total.load() == kProducers * kPerProducer; }));
    EXPECT_TRUE(queue->syncResult([&] { return queue->isCurrent(); }));
    EXPECT_EQ(threads.size(), 1u) << "every block on the queue's own thread";
    for (int p = 0; p < kProducers; ++p)
        EXPECT_TRUE(std::is_sorted(seen[p].begin(), seen[p].end())) << "producer " << p;
    EXPECT_EQ(threadsNamed(label), 1);

    queue.reset();
    EXPECT_TRUE(waitFor([&] { return threadsNamed(label) == 0; }));
}

TEST(DispatchQueue, AnOwnThreadQueueTakesItsDescriptorEventsOnThatThread) {
    const std::string label = "own.fd.test";
    auto queue = DispatchQueue::makeSerialOnOwnThread(label);
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    auto source = DispatchSource::makeRead(fds[0], queue);
    std::atomic<int> bytes{0};
    std::set<std::thread::id> threads; // touched only on the queue
    std::thread::id queueThread;
    queue->sync([&] {}); // the thread is up
    queue->async([&] { queueThread = std::this_thread::get_id(); });
    source->setEventHandler([&] {
        char buffer[64];
        const auto n = ::read(fds[0], buffer, sizeof buffer);
        bytes += n > 0 ? static_cast<int>(n) : 0;
        threads.insert(std::this_thread::get_id());
    });
    source->resume();
    // Events and blocks interleave on the one thread; a block queued from another thread
    // still wakes it while it waits on the descriptor.
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(::write(fds[1], "ab", 2), 2);
        std::atomic<bool> ran{false};
        queue->async([&] { ran = true; });
        ASSERT_TRUE(waitFor([&] { return ran.load() && bytes.load() == 2 * (i + 1); })) << i;
    }
    queue->sync([&] {
        EXPECT_EQ(threads.size(), 1u);
        EXPECT_EQ(*threads.begin(), queueThread);
    });
    source->cancel();
    source.reset();
    queue.reset();
    EXPECT_TRUE(waitFor([&] { return threadsNamed(label) == 0; }));
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(DispatchQueue, SyncReturnsResultsAndWaitsForEarlierBlocks) {
    auto queue = DispatchQueue::makeSerial("sync");
    std::vector<int> log;
    queue->async([&] {
        std::this_thread::sleep_for(20ms);
        log.push_back(1);
    });
    queue->async([&] { log.push_back(2); });
    const std::size_t size = queue->syncResult([&] { return log.size(); });
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(queue->syncResult([] { return std::string("result"); }), "result");
    EXPECT_EQ(DispatchQueue::global()->syncResult([] { return 42; }), 42);
}

TEST(DispatchQueue, SyncOntoAnotherQueueFromABlock) {
    auto outer = DispatchQueue::makeSerial("outer");
    auto inner = DispatchQueue::makeSerial("inner");
    std::atomic<int> result{0};
    std::atomic<bool> done{false};
    outer->async([&] {
        result = inner->syncResult([&] {
            // Nested sync: both queues count as current on this thread.
            return (outer->isCurrent() ? 1 : 0) + (inner->isCurrent() ? 2 : 0);
        });
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done.load(); }));
    EXPECT_EQ(result.load(), 3);
}

TEST(DispatchQueue, ManyThreadsSyncOntoOneQueue) {
    auto queue = DispatchQueue::makeSerial("contended");
    int counter = 0; // only touched on the queue
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                if (i % 2)
                    queue->sync([&] { ++counter; });
                else
                    queue->async([&] { ++counter; });
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(queue->syncResult([&] { return counter; }), 8 * 500);
}

// Pool threads that wait in `sync` hold no place the waited-for work needs: more of them than
// any thread bound still all finish, on the main queue too. (Before, the drain a waiter
// needed sat behind blocks that held every thread, waiting in turn.)
TEST(DispatchQueue, SyncWaitsOnPoolThreadsNeverStarveTheWorkTheyWaitFor) {
    constexpr int kWaiters = 150; // beyond any thread bound
    auto queue = DispatchQueue::makeSerial("waited-for");
    std::atomic<int> done{0}, ran{0}, mainRan{0};
    for (int i = 0; i < kWaiters; ++i) {
        DispatchQueue::global(QoS::userInitiated)->async([&, i] {
            // Work before the wait that only a pool drain can run.
            queue->async([&] { ran.fetch_add(1); });
            queue->sync([&] { std::this_thread::sleep_for(50us); });
            if (i % 10 == 0)
                DispatchQueue::main()->sync([&] { mainRan.fetch_add(1); });
            done.fetch_add(1);
        });
    }
    ASSERT_TRUE(waitFor([&] { return done.load() == kWaiters; }, 60s)) << done.load() << " finished";
    EXPECT_EQ(ran.load(), kWaiters);
    EXPECT_EQ(mainRan.load(), kWaiters / 10);
}

TEST(DispatchQueue, IsCurrent) {
    auto a = DispatchQueue::makeSerial("a");
    auto b = DispatchQueue::makeSerial("b");
    EXPECT_FALSE(a->isCurrent());
    EXPECT_TRUE(a->syncResult([&] { return a->isCurrent() && !b->isCurrent(); }));
    EXPECT_TRUE(DispatchQueue::global()->syncResult([] { return DispatchQueue::global()->isCurrent(); }));
    EXPECT_FALSE(DispatchQueue::global(QoS::background)->isCurrent());
    std::atomic<int> state{0};
    a->async([&] { state = a->isCurrent() && !b->isCurrent() ? 1 : 2; });
    ASSERT_TRUE(waitFor([&] { return state.load() != 0; }));
    EXPECT_EQ(state.load(), 1);
}

TEST(DispatchQueueDeathTest, SyncOntoTheQueueItRunsOnIsReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto queue = DispatchQueue::makeSerial("self");
            queue->sync([&] { queue->sync([] {}); });
        },
        "deadlock");
}

TEST(DispatchQueue, GlobalQueueRunsBlocksConcurrently) {
    // Two blocks that each wait for the other can only finish when they run at once.
    std::atomic<int> arrived{0};
    std::atomic<int> finished{0};
    for (int i = 0; i < 2; ++i) {
        DispatchQueue::global(QoS::userInitiated)->async([&] {
            arrived.fetch_add(1);
            const auto until = std::chrono::steady_clock::now() + kDeadline;
            while (arrived.load() < 2 && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(1ms);
            finished.fetch_add(arrived.load() == 2 ? 1 : 0);
        });
    }
    ASSERT_TRUE(waitFor([&] { return finished.load() == 2; }));
}

TEST(DispatchQueue, PoolIsBounded) {
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::atomic<int> done{0};
    constexpr int kBlocks = 2000;
    for (int i = 0; i < kBlocks; ++i) {
        DispatchQueue::global(static_cast<QoS>(i % 5))->async([&] {
            {
                std::lock_guard lock(mutex);
                threads.insert(std::this_thread::get_id());
            }
            done.fetch_add(1);
        });
        DispatchQueue::makeSerial("short-lived")->async([&] { done.fetch_add(1); });
    }
    ASSERT_TRUE(waitFor([&] { return done.load() == 2 * kBlocks; }));
    std::lock_guard lock(mutex);
    EXPECT_LE(threads.size(), 64u);
}

TEST(DispatchQueue, AsyncAfterRunsInDeadlineOrderNotBefore) {
    auto queue = DispatchQueue::makeSerial("after");
    std::mutex mutex;
    std::vector<int> order;
    const auto start = std::chrono::steady_clock::now();
    std::atomic<long long> firstElapsedMs{-1};
    // Deadlines as the queue sees them: a loaded machine may pause between two calls.
    std::vector<std::pair<std::chrono::steady_clock::time_point, int>> deadlines;
    for (int delay : {60, 20, 40, 0}) {
        deadlines.emplace_back(std::chrono::steady_clock::now() + std::chrono::milliseconds(delay), delay);
        queue->asyncAfter(std::chrono::milliseconds(delay), [&, delay] {
            std::lock_guard lock(mutex);
            if (delay == 20)
                firstElapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count();
            order.push_back(delay);
        });
    }
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(mutex);
        return order.size() == 4;
    }));
    std::sort(deadlines.begin(), deadlines.end());
    std::vector<int> expected;
    for (const auto& [deadline, delay] : deadlines)
        expected.push_back(delay);
    EXPECT_EQ(order, expected);
    EXPECT_GE(firstElapsedMs.load(), 19); // never early
}

TEST(DispatchQueue, AsyncAfterOnGlobalQueue) {
    std::atomic<bool> ran{false};
    DispatchQueue::global()->asyncAfter(10ms, [&] { ran = DispatchQueue::global()->isCurrent(); });
    ASSERT_TRUE(waitFor([&] { return ran.load(); }));
}

TEST(WorkItem, CancelledItemDoesNotRun) {
    auto queue = DispatchQueue::makeSerial("items");
    std::atomic<int> runs{0};
    auto gate = std::make_shared<std::atomic<bool>>(false);
    queue->async([gate] {
        while (!gate->load())
            std::this_thread::sleep_for(1ms);
    });
    auto cancelled = WorkItem::make([&] { runs.fetch_add(100); });
    auto kept = WorkItem::make([&] { runs.fetch_add(1); });
    queue->async(cancelled);
    queue->async(kept);
    cancelled->cancel();
    EXPECT_TRUE(cancelled->isCancelled());
    gate->store(true);
    queue->sync([] {});
    EXPECT_EQ(runs.load(), 1);
}

TEST(WorkItem, CancelledDelayedItemDoesNotRun) {
    auto queue = DispatchQueue::makeSerial("items-after");
    std::atomic<int> runs{0};
    auto cancelled = WorkItem::make([&] { runs.fetch_add(100); });
    auto kept = WorkItem::make([&] { runs.fetch_add(1); });
    queue->asyncAfter(30ms, cancelled);
    queue->asyncAfter(40ms, kept);
    cancelled->cancel();
    ASSERT_TRUE(waitFor([&] { return runs.load() != 0; }));
    queue->asyncAfter(20ms, [] {});
    MainRunLoop::runFor(50ms);
    EXPECT_EQ(runs.load(), 1);
}

TEST(QueueSpecific, ReadFromTheQueueTheCallerRunsOn) {
    static DispatchSpecificKey<std::string> key;
    static DispatchSpecificKey<int> otherKey;
    auto a = DispatchQueue::makeSerial("specific-a");
    auto b = DispatchQueue::makeSerial("specific-b");
    a->setSpecific(key, std::make_shared<std::string>("A"));
    b->setSpecific(key, std::make_shared<std::string>("B"));
    a->setSpecific(otherKey, std::make_shared<int>(7));

    EXPECT_EQ(*a->specific(key), "A");
    EXPECT_EQ(DispatchQueue::getSpecific(otherKey), nullptr); // main thread: main queue has none
    EXPECT_EQ(a->syncResult([] { return *DispatchQueue::getSpecific(key); }), "A");
    EXPECT_EQ(a->syncResult([] { return *DispatchQueue::getSpecific(otherKey); }), 7);
    EXPECT_EQ(b->syncResult([] { return DispatchQueue::getSpecific(otherKey); }), nullptr);
    // Nested sync: the innermost queue.
    EXPECT_EQ(a->syncResult([&] { return b->syncResult([] { return *DispatchQueue::getSpecific(key); }); }),
              "B");

    std::atomic<int> seen{0};
    a->async([&] { seen = *DispatchQueue::getSpecific(otherKey); });
    ASSERT_TRUE(waitFor([&] { return seen.load() != 0; }));
    EXPECT_EQ(seen.load(), 7);

    // A plain thread runs no queue.
    std::shared_ptr<std::string> fromThread = std::make_shared<std::string>("x");
    std::thread([&] { fromThread = DispatchQueue::getSpecific(key); }).join();
    EXPECT_EQ(fromThread, nullptr);

    // Replacing and clearing.
    a->setSpecific(key, std::make_shared<std::string>("A2"));
    EXPECT_EQ(a->syncResult([] { return *DispatchQueue::getSpecific(key); }), "A2");
    a->setSpecific(key, std::shared_ptr<std::string>());
    EXPECT_EQ(a->specific(key), nullptr);
}

TEST(QueueSpecific, MainQueueValueOnTheMainThread) {
    static DispatchSpecificKey<int> key;
    DispatchQueue::main()->setSpecific(key, std::make_shared<int>(5));
    ASSERT_NE(DispatchQueue::getSpecific(key), nullptr);
    EXPECT_EQ(*DispatchQueue::getSpecific(key), 5);
    EXPECT_EQ(DispatchQueue::makeSerial("other")->syncResult([] { return DispatchQueue::getSpecific(key); }),
              nullptr);
    DispatchQueue::main()->setSpecific(key, std::shared_ptr<int>());
}

// ---- Dispatch timers ------------------------------------------------------------------------

struct Recorder {
    std::mutex mutex;
    std::vector<std::string> events;
    void add(std::string e) {
        std::lock_guard lock(mutex);
        events.push_back(std::move(e));
    }
    std::vector<std::string> snapshot() {
        std::lock_guard lock(mutex);
        return events;
    }
    std::size_t count(const std::string& e) {
        std::lock_guard lock(mutex);
        return static_cast<std::size_t>(std::count(events.begin(), events.end(), e));
    }
};

TEST(DispatchTimer, OneShotFiresOnceOnItsQueue) {
    auto queue = DispatchQueue::makeSerial("timer");
    Recorder rec;
    auto timer = DispatchTimer::make(queue);
    timer->setEventHandler([&] { rec.add(queue->isCurrent() ? "fire" : "wrong queue"); });
    timer->schedule(10ms);
    MainRunLoop::runFor(30ms);
    EXPECT_EQ(rec.count("fire"), 0u) << "created suspended";
    timer->resume();
    ASSERT_TRUE(waitFor([&] { return rec.count("fire") == 1; }));
    MainRunLoop::runFor(50ms);
    EXPECT_EQ(rec.snapshot(), std::vector<std::string>{"fire"});
    timer->cancel();
}

TEST(DispatchTimer, RepeatingThenCancelHandlerRunsOnceAfterLastEvent) {
    auto queue = DispatchQueue::makeSerial("timer-repeat");
    Recorder rec;
    auto timer = DispatchTimer::make(queue);
    std::atomic<int> fires{0};
    std::atomic<bool> cancelledNow{false};
    timer->setEventHandler([&] {
        rec.add(cancelledNow ? "event after cancel" : "event");
        if (fires.fetch_add(1) + 1 == 3) {
            timer->cancel();
            cancelledNow = true;
        }
    });
    timer->setCancelHandler([&] { rec.add("cancel"); });
    timer->schedule(5ms, 5ms, 1ms);
    timer->resume();
    ASSERT_TRUE(waitFor([&] { return rec.count("cancel") == 1; }));
    MainRunLoop::runFor(50ms);
    EXPECT_EQ(rec.snapshot(), (std::vector<std::string>{"event", "event", "event", "cancel"}));
    EXPECT_TRUE(timer->isCancelled());
}

TEST(DispatchTimer, CancelFromOutsideWhileAHandlerRunsDefersTheCancelHandler) {
    auto queue = DispatchQueue::global();
    Recorder rec;
    auto timer = DispatchTimer::make(queue);
    std::atomic<bool> inHandler{false};
    std::atomic<bool> release{false};
    timer->setEventHandler([&] {
        rec.add("event start");
        inHandler = true;
        while (!release)
            std::this_thread::sleep_for(1ms);
        rec.add("event end");
    });
    timer->setCancelHandler([&] { rec.add("cancel"); });
    timer->schedule(0ms, 2ms);
    timer->resume();
    ASSERT_TRUE(waitFor([&] { return inHandler.load(); }));
    timer->cancel();
    MainRunLoop::runFor(20ms);
    EXPECT_EQ(rec.count("cancel"), 0u);
    release = true;
    ASSERT_TRUE(waitFor([&] { return rec.count("cancel") == 1; }));
    MainRunLoop::runFor(20ms);
    EXPECT_EQ(rec.snapshot(), (std::vector<std::string>{"event start", "event end", "cancel"}));
}

TEST(DispatchTimer, CancelBeforeFiringRunsOnlyTheCancelHandler) {
    auto queue = DispatchQueue::makeSerial("timer-cancel");
    Recorder rec;
    auto timer = DispatchTimer::make(queue);
    timer->setEventHandler([&] { rec.add("event"); });
    timer->setCancelHandler([&] { rec.add("cancel"); });
    timer->schedule(30ms);
    timer->resume();
    timer->cancel();
    ASSERT_TRUE(waitFor([&] { return rec.count("cancel") == 1; }));
    MainRunLoop::runFor(60ms);
    EXPECT_EQ(rec.snapshot(), std::vector<std::string>{"cancel"});
}

TEST(DispatchTimer, CancelOfASuspendedTimerStillRunsTheCancelHandler) {
    auto queue = DispatchQueue::makeSerial("timer-cancel-suspended");
    Recorder rec;
    auto timer = DispatchTimer::make(queue);
    timer->setEventHandler([&] { rec.add("event"); });
    timer->setCancelHandler([&] { rec.add("cancel"); });
    timer->schedule(1ms);
    timer->cancel(); // never resumed
    timer->resume(); // the GCD idiom (resume after cancel) is harmless
    ASSERT_TRUE(waitFor([&] { return rec.count("cancel") == 1; }));
    MainRunLoop::runFor(20ms);
    EXPECT_EQ(rec.snapshot(), std::vector<std::string>{"cancel"});
}

TEST(DispatchTimer, SuspendHoldsEventsAndResumeDeliversThem) {
    auto queue = DispatchQueue::makeSerial("timer-suspend");
    std::atomic<int> fires{0};
    auto timer = DispatchTimer::make(queue);
    timer->setEventHandler([&] { fires.fetch_add(1); });
    timer->schedule(5ms, 5ms);
    timer->resume();
    ASSERT_TRUE(waitFor([&] { return fires.load() >= 1; }));
    queue->sync([&] { timer->suspend(); }); // on the queue: no handler is running
    const int held = fires.load();
    MainRunLoop::runFor(60ms);
    EXPECT_EQ(fires.load(), held);
    timer->resume();
    ASSERT_TRUE(waitFor([&] { return fires.load() >= held + 2; }));
    timer->cancel();
}

TEST(DispatchTimer, RescheduleReplacesTheDeadline) {
    auto queue = DispatchQueue::makeSerial("timer-reschedule");
    std::atomic<int> fires{0};
    auto timer = DispatchTimer::make(queue);
    timer->setEventHandler([&] { fires.fetch_add(1); });
    timer->schedule(std::chrono::hours(1));
    timer->resume();
    timer->schedule(5ms);
    ASSERT_TRUE(waitFor([&] { return fires.load() == 1; }));
    MainRunLoop::runFor(30ms);
    EXPECT_EQ(fires.load(), 1);
    timer->cancel();
}

TEST(DispatchTimer, HandlerCapturingTheTimerIsReleasedAfterCancel) {
    auto queue = DispatchQueue::makeSerial("timer-cycle");
    std::weak_ptr<DispatchTimer> weak;
    std::atomic<bool> cancelled{false};
    {
        auto timer = DispatchTimer::make(queue);
        weak = timer;
        timer->setEventHandler([timer] { timer->cancel(); });
        timer->setCancelHandler([&] { cancelled = true; });
        timer->schedule(1ms);
        timer->resume();
    }
    ASSERT_TRUE(waitFor([&] { return cancelled.load(); }));
    ASSERT_TRUE(waitFor([&] { return weak.expired(); }));
}

} // namespace
