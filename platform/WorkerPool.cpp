#include "platform/WorkerPool.h"

#include "platform/ThreadPriority.h"

#include <algorithm>
#include <chrono>
#include <pthread.h>
#include <sched.h>
#include <thread>

namespace platform::detail {

namespace {

// The processors this process may run on (a container or taskset may allow fewer than the
// machine has): more runnable threads than that only take turns.
unsigned usableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace

thread_local const WorkerPool* WorkerPool::current_ = nullptr;

WorkerPool::WorkerPool()
    : WorkerPool(std::max(4u, usableCores()), std::clamp<unsigned>(usableCores() * 4, 16, 64)) {}

WorkerPool::WorkerPool(unsigned softCap, unsigned hardCap) : softCap_(softCap), hardCap_(hardCap) {}

void WorkerPool::submit(QoS qos, std::function<void()> job) {
    std::lock_guard lock(mutex_);
    jobs_[static_cast<std::size_t>(qos)].push_back(std::move(job));
    ++queued_;
    if (idle_ > wakeups_) {
        ++wakeups_;
        cv_.notify_one();
    } else if (threads_ - blocked_ < softCap_ && threads_ < hardCap_ + blocked_) {
        startThreadLocked();
    } else {
        // No free thread takes this job: the running ones may all be held up by something
        // the pool cannot see (a future, a blocking read), so the watcher looks, however
        // many jobs wait already.
        watchForStarvationLocked();
        if (watcherAsleep_)
            watchCv_.notify_one();
    }
}

void WorkerPool::enterWait() {
    if (current_ != this)
        return;
    std::lock_guard lock(mutex_);
    ++blocked_;
    if (queued_ > wakeups_ && idle_ <= wakeups_ && threads_ - blocked_ < softCap_)
        startThreadLocked();
}

void WorkerPool::leaveWait() {
    if (current_ != this)
        return;
    std::lock_guard lock(mutex_);
    --blocked_;
}

WorkerPool::Counts WorkerPool::counts() const {
    std::lock_guard lock(mutex_);
    return {queued_, idle_, wakeups_, threads_, blocked_, softCap_, watcherAsleep_};
}

void WorkerPool::setWakeHookForTesting(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    wakeHook_ = std::move(hook);
}

void WorkerPool::startThreadLocked() {
    ++threads_;
    std::thread([this] {
        takeNormalPriority();
        pthread_setname_np(pthread_self(), "dispatch-pool");
        workerLoop();
    }).detach();
}

void WorkerPool::watchForStarvationLocked() {
    if (watching_)
        return;
    watching_ = true;
    std::thread([this] {
        takeNormalPriority();
        pthread_setname_np(pthread_self(), "dispatch-watch");
        watchLoop();
    }).detach();
}

// Looks while work is queued: when no thread has taken a job for a while, all of them are
// held up, and one more is made.
void WorkerPool::watchLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        watcherAsleep_ = true;
        watchCv_.wait(lock, [&] { return queued_ > 0; });
        watcherAsleep_ = false;
        const std::uint64_t taken = taken_;
        // The whole pause: a job taken within it is what shows a thread is still free.
        watchCv_.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(10),
                            [] { return false; });
        if (queued_ > wakeups_ && taken_ == taken && idle_ <= wakeups_ && threads_ < hardCap_ + blocked_)
            startThreadLocked();
    }
}

void WorkerPool::workerLoop() {
    current_ = this;
    std::unique_lock lock(mutex_);
    for (;;) {
        while (queued_ == 0) {
            // A thread made beyond the bound to stand in for waiting ones goes when idle.
            if (threads_ - blocked_ > softCap_) {
                --threads_;
                return;
            }
            ++idle_;
            cv_.wait(lock);
            --idle_;
            if (wakeups_ > 0)
                --wakeups_;
            if (wakeHook_) {
                const std::function<void()> hook = wakeHook_;
                lock.unlock();
                hook();
                lock.lock();
            }
        }
        std::function<void()> job;
        for (std::size_t level = kQoSLevels; level-- > 0;) {
            if (!jobs_[level].empty()) {
                job = std::move(jobs_[level].front());
                jobs_[level].pop_front();
                break;
            }
        }
        --queued_;
        ++taken_;
        lock.unlock();
        job();
        job = nullptr; // destroy captures outside the lock
        lock.lock();
    }
}

WorkerPool& sharedPool() {
    static WorkerPool* instance = new WorkerPool; // intentionally leaked: threads outlive statics
    return *instance;
}

} // namespace platform::detail
