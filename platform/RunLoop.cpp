// The main run loop: the main queue's blocks and the run-loop timers, serviced on the main
// thread, either by a test (runOnce/runUntil/runFor/advance) or by a backend's Waker (Qt).
//
// The main thread is the thread adopted first (adoptCurrentThread, or lazily the first thread
// that drives the loop); until one is adopted, the process's initial thread counts as main.
// The loop's clock is the monotonic clock, or fake time in tests. Main-queue delays
// (asyncAfter) and DispatchTimers on the main queue are deadlines on this clock as well.

#include "platform/RunLoop.h"
#include "platform/DispatchInternal.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

using detail::steadyNowNs;

struct LoopState {
    std::mutex mutex;
    std::condition_variable cv;
    std::uint64_t changes = 0; // bumped on every new block or timer, for waiting drivers

    std::deque<std::function<void()>> blocks;

    std::map<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> timers;
    std::unordered_map<std::uint64_t, std::int64_t> timerDeadlines;
    std::uint64_t nextTimerId = 1;

    bool fake = false;
    std::int64_t fakeNowNs = 0;

    // The backend. Its methods are called under wakerMutex and never under `mutex` (a backend
    // may read the loop's clock); setWaker(nullptr) thus waits for a call in progress.
    std::mutex wakerMutex;
    MainRunLoop::Waker* waker = nullptr;

    std::atomic<bool> adopted{false};
    std::thread::id mainThread;

    std::int64_t nowNsLocked() const { return fake ? fakeNowNs : steadyNowNs(); }
};

LoopState& loop() {
    static LoopState* state = new LoopState; // intentionally leaked
    return *state;
}

// Tells the backend (if any) that main-queue work is pending, or when the next timer is due.
void notifyWaker(bool work, std::optional<std::int64_t> timerAtNs) {
    LoopState& s = loop();
    std::lock_guard lock(s.wakerMutex);
    if (!s.waker)
        return;
    if (work)
        s.waker->wake();
    else if (timerAtNs)
        s.waker->scheduleAt(static_cast<double>(*timerAtNs) / 1e9);
}

bool isInitialThread() {
    return ::syscall(SYS_gettid) == ::getpid();
}

void ensureMainThread(const char* what) {
    LoopState& s = loop();
    if (!s.adopted.load(std::memory_order_acquire))
        MainRunLoop::adoptCurrentThread();
    if (!MainRunLoop::isMainThread())
        detail::fatal((std::string("MainRunLoop::") + what + " called off the main thread").c_str());
}

class MainLoopService final : public detail::DeadlineService {
public:
    std::int64_t nowNs() override {
        LoopState& s = loop();
        std::lock_guard lock(s.mutex);
        return s.nowNsLocked();
    }

    std::uint64_t add(std::int64_t deadlineNs, std::function<void()> fn) override {
        LoopState& s = loop();
        std::uint64_t id;
        std::int64_t earliest;
        {
            std::lock_guard lock(s.mutex);
            id = s.nextTimerId++;
            s.timers.emplace(std::make_pair(deadlineNs, id), std::move(fn));
            s.timerDeadlines.emplace(id, deadlineNs);
            earliest = s.timers.begin()->first.first;
            ++s.changes;
            s.cv.notify_all();
        }
        if (earliest == deadlineNs) {
            if (MainRunLoop::isMainThread())
                notifyWaker(false, earliest);
            else
                notifyWaker(true, std::nullopt); // the main thread re-plans its next deadline
        }
        return id;
    }

    void remove(std::uint64_t id) override {
        std::function<void()> dropped;
        LoopState& s = loop();
        std::unique_lock lock(s.mutex);
        auto it = s.timerDeadlines.find(id);
        if (it == s.timerDeadlines.end())
            return;
        auto entry = s.timers.find({it->second, id});
        if (entry != s.timers.end()) {
            dropped = std::move(entry->second);
            s.timers.erase(entry);
        }
        s.timerDeadlines.erase(it);
        lock.unlock();
    }
};

// Runs the blocks queued so far (not those they queue). Returns how many ran. Blocks are taken
// one at a time from the shared queue, so a nested loop (a modal dialog opened by a block)
// goes on with the older blocks first and order stays first in, first out.
std::size_t runQueuedBlocks() {
    LoopState& s = loop();
    std::size_t budget;
    {
        std::lock_guard lock(s.mutex);
        budget = s.blocks.size();
    }
    detail::ScopedQueueFrame frame(DispatchQueue::main().get());
    std::size_t ran = 0;
    for (; ran < budget; ++ran) {
        std::function<void()> block;
        {
            std::lock_guard lock(s.mutex);
            if (s.blocks.empty())
                break;
            block = std::move(s.blocks.front());
            s.blocks.pop_front();
        }
        block();
    }
    return ran;
}

// Fires the timers due at this moment of the loop's clock, in deadline order; timers they add
// wait for the next pass. Returns how many fired.
std::size_t fireDueTimers() {
    LoopState& s = loop();
    std::vector<std::uint64_t> due;
    {
        std::lock_guard lock(s.mutex);
        const std::int64_t now = s.nowNsLocked();
        for (const auto& [key, fn] : s.timers) {
            if (key.first > now)
                break;
            due.push_back(key.second);
        }
    }
    std::size_t fired = 0;
    for (std::uint64_t id : due) {
        std::function<void()> fn;
        {
            std::lock_guard lock(s.mutex);
            auto it = s.timerDeadlines.find(id);
            if (it == s.timerDeadlines.end())
                continue; // removed by an earlier timer of this pass
            auto entry = s.timers.find({it->second, id});
            fn = std::move(entry->second);
            s.timers.erase(entry);
            s.timerDeadlines.erase(it);
        }
        detail::ScopedQueueFrame frame(DispatchQueue::main().get());
        fn();
        ++fired;
    }
    return fired;
}

void tellWaker() {
    LoopState& s = loop();
    bool work;
    std::optional<std::int64_t> next;
    {
        std::lock_guard lock(s.mutex);
        work = !s.blocks.empty();
        if (!s.timers.empty())
            next = s.timers.begin()->first.first;
    }
    notifyWaker(work, next);
}

void runOncePass() {
    runQueuedBlocks();
    fireDueTimers();
    runQueuedBlocks();
}

// Runs queued blocks until none are left (bounded, for blocks that keep queueing themselves).
void drainBlocks() {
    for (int round = 0; round < 1000; ++round)
        if (runQueuedBlocks() == 0)
            return;
}

} // namespace

namespace detail {

DeadlineService& mainLoopService() {
    static MainLoopService* service = new MainLoopService; // intentionally leaked
    return *service;
}

void mainQueuePush(std::function<void()> block) {
    LoopState& s = loop();
    {
        std::lock_guard lock(s.mutex);
        s.blocks.push_back(std::move(block));
        ++s.changes;
        s.cv.notify_all();
    }
    notifyWaker(true, std::nullopt);
}

} // namespace detail

void MainRunLoop::adoptCurrentThread() {
    LoopState& s = loop();
    std::lock_guard lock(s.mutex);
    if (s.adopted.load(std::memory_order_relaxed))
        return;
    s.mainThread = std::this_thread::get_id();
    s.adopted.store(true, std::memory_order_release);
}

bool MainRunLoop::isMainThread() {
    LoopState& s = loop();
    if (s.adopted.load(std::memory_order_acquire))
        return std::this_thread::get_id() == s.mainThread;
    return isInitialThread();
}

double MainRunLoop::now() {
    LoopState& s = loop();
    std::lock_guard lock(s.mutex);
    return static_cast<double>(s.nowNsLocked()) / 1e9;
}

void MainRunLoop::runOnce() {
    ensureMainThread("runOnce");
    runOncePass();
    tellWaker();
}

bool MainRunLoop::runUntil(const std::function<bool()>& pred, Duration timeout) {
    ensureMainThread("runUntil");
    LoopState& s = loop();
    const std::int64_t deadline = steadyNowNs() + std::max<std::int64_t>(0, timeout.count());
    constexpr std::int64_t kPollNs = 2'000'000; // re-check pred at least this often
    for (;;) {
        if (pred())
            return true;
        std::uint64_t seen;
        {
            std::lock_guard lock(s.mutex);
            seen = s.changes;
        }
        runOncePass();
        if (pred())
            return true;
        const std::int64_t now = steadyNowNs();
        if (now >= deadline)
            return pred();
        std::unique_lock lock(s.mutex);
        if (!s.blocks.empty() || s.changes != seen)
            continue;
        std::int64_t wakeAt = std::min(deadline, now + kPollNs);
        if (!s.fake && !s.timers.empty())
            wakeAt = std::min(wakeAt, s.timers.begin()->first.first);
        s.cv.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(wakeAt)),
                        [&] { return s.changes != seen; });
    }
}

void MainRunLoop::runFor(Duration duration) {
    runUntil([] { return false; }, duration);
}

void MainRunLoop::useFakeTime(bool on) {
    LoopState& s = loop();
    std::lock_guard lock(s.mutex);
    if (on && !s.fake)
        s.fakeNowNs = steadyNowNs(); // continuous with the real clock, so pending timers keep their place
    s.fake = on;
}

void MainRunLoop::advance(Duration by) {
    ensureMainThread("advance");
    LoopState& s = loop();
    bool fake;
    std::int64_t target;
    {
        std::lock_guard lock(s.mutex);
        fake = s.fake;
        target = s.fakeNowNs + std::max<std::int64_t>(0, by.count());
    }
    if (!fake) { // without fake time, advancing is waiting
        runFor(by);
        return;
    }
    drainBlocks();
    for (;;) {
        fireDueTimers();
        drainBlocks();
        std::lock_guard lock(s.mutex);
        if (s.timers.empty() || s.timers.begin()->first.first > target)
            break;
        s.fakeNowNs = std::max(s.fakeNowNs, s.timers.begin()->first.first);
    }
    {
        std::lock_guard lock(s.mutex);
        s.fakeNowNs = std::max(s.fakeNowNs, target);
    }
    fireDueTimers();
    drainBlocks();
    tellWaker();
}

void MainRunLoop::setWaker(Waker* waker) {
    LoopState& s = loop();
    std::lock_guard wakerLock(s.wakerMutex);
    s.waker = waker;
    bool pending;
    {
        std::lock_guard lock(s.mutex);
        pending = !s.blocks.empty() || !s.timers.empty();
    }
    if (waker && pending)
        waker->wake();
}

double MainRunLoop::nextDeadline() {
    LoopState& s = loop();
    std::lock_guard lock(s.mutex);
    if (!s.blocks.empty())
        return 0.0;
    if (s.timers.empty())
        return -1.0;
    const std::int64_t delta = s.timers.begin()->first.first - s.nowNsLocked();
    return delta <= 0 ? 0.0 : static_cast<double>(delta) / 1e9;
}

// ---- Run-loop timers ------------------------------------------------------------------------

namespace {

class RunLoopTimerImpl final : public RunLoopTimer {
public:
    RunLoopTimerImpl(Duration interval, bool repeats, std::function<void(RunLoopTimer&)> block)
        : intervalNs_(std::max<std::int64_t>(repeats ? 100'000 : 0, interval.count())), repeats_(repeats),
          block_(std::make_shared<std::function<void(RunLoopTimer&)>>(std::move(block))) {}

    void start() {
        std::lock_guard lock(mutex_);
        deadline_ = detail::mainLoopService().nowNs() + intervalNs_;
        armLocked();
    }

    void invalidate() override {
        std::shared_ptr<std::function<void(RunLoopTimer&)>> dropped;
        std::lock_guard lock(mutex_);
        if (!valid_)
            return;
        valid_ = false;
        if (entryActive_) {
            detail::mainLoopService().remove(entryId_);
            entryActive_ = false;
        }
        ++token_;
        dropped = std::move(block_); // releases captures (often the timer itself)
    }

    bool isValid() const override {
        std::lock_guard lock(mutex_);
        return valid_;
    }

    void fire() override {
        std::shared_ptr<std::function<void(RunLoopTimer&)>> block;
        {
            std::lock_guard lock(mutex_);
            if (!valid_)
                return;
            block = block_;
        }
        if (block && *block)
            (*block)(*this);
        if (!repeats_)
            invalidate();
    }

private:
    void armLocked() {
        const std::uint64_t token = ++token_;
        entryActive_ = true;
        auto self = std::static_pointer_cast<RunLoopTimerImpl>(shared_from_this()); // the loop keeps it
        entryId_ = detail::mainLoopService().add(deadline_, [self, token] { self->due(token); });
    }

    void due(std::uint64_t token) {
        {
            std::lock_guard lock(mutex_);
            if (!valid_ || token != token_)
                return;
            entryActive_ = false;
            if (repeats_) {
                const std::int64_t now = detail::mainLoopService().nowNs();
                deadline_ += intervalNs_;
                if (deadline_ <= now) // missed fires are skipped, as NSTimer does
                    deadline_ += ((now - deadline_) / intervalNs_ + 1) * intervalNs_;
                armLocked();
            }
        }
        fire();
    }

    mutable std::mutex mutex_;
    const std::int64_t intervalNs_;
    const bool repeats_;
    std::shared_ptr<std::function<void(RunLoopTimer&)>> block_;
    bool valid_ = true;
    bool entryActive_ = false;
    std::uint64_t entryId_ = 0;
    std::uint64_t token_ = 0;
    std::int64_t deadline_ = 0;
};

} // namespace

RunLoopTimerPtr RunLoopTimer::scheduled(Duration interval, bool repeats,
                                        std::function<void(RunLoopTimer&)> block) {
    auto timer = std::make_shared<RunLoopTimerImpl>(interval, repeats, std::move(block));
    timer->start();
    return timer;
}

} // namespace platform
