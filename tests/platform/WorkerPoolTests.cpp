// The worker pool's starvation watcher, on a pool of the test's own.
#include "platform/WorkerPool.h"

#include "support/Eventually.h"
#include "support/Gate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

using namespace platform;
using namespace platform::detail;
using namespace std::chrono_literals;

namespace {

using support::Gate;

} // namespace

// Job A takes the one idle thread's wake-up; job B is queued before that thread runs. With
// every other thread held up on a future, only the watcher can give B a thread, and A waits
// for B.
TEST(WorkerPool, WorkQueuedBehindAClaimedWakeUpWakesTheWatcher) {
    static WorkerPool* pool = new WorkerPool(2, 16); // leaked: its threads never end
    auto first = std::make_shared<Gate>(), second = std::make_shared<Gate>();
    pool->submit(QoS::defaultQoS, [first] { first->waitFor(60s); });
    pool->submit(QoS::defaultQoS, [second] { second->waitFor(60s); });
    // Both threads busy: a third job starts the watcher, which makes a thread for it.
    auto third = std::make_shared<Gate>();
    pool->submit(QoS::defaultQoS, [third] { third->open(); });
    ASSERT_TRUE(third->waitFor(10s));
    second->open();
    // The extra thread has gone, the second is idle, the watcher asleep.
    ASSERT_TRUE(support::eventually(
        [&] {
            const auto c = pool->counts();
            return c.threads == 2 && c.idle == 1 && c.wakeups == 0 && c.queued == 0 && c.watcherAsleep;
        },
        10s));

    // The woken thread takes nothing before B is queued.
    auto bQueued = std::make_shared<Gate>();
    pool->setWakeHookForTesting([bQueued] { bQueued->waitFor(10s); });
    auto bRan = std::make_shared<Gate>(), aEnded = std::make_shared<Gate>();
    pool->submit(QoS::defaultQoS, [bRan, aEnded] {
        if (bRan->waitFor(10s))
            aEnded->open();
    });
    pool->submit(QoS::defaultQoS, [bRan] { bRan->open(); });
    bQueued->open();
    EXPECT_TRUE(aEnded->waitFor(1s)) << "B waited for a submit that never came";

    pool->setWakeHookForTesting(nullptr);
    bRan->open();
    first->open();
}
