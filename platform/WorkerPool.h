#pragma once
// The worker pool behind every global-queue block and every serial-queue drain. Not a
// public header.
//
// Threads are made when work waits and no thread is free, up to one per core (at least
// four). A pool thread that blocks in a `sync` wait does not count against that, so a wait
// never starves the work it waits for; and when queued work sees no thread take anything
// for a while (blocks that wait on something else), one more thread is made, up to a hard
// bound. Threads never end, except those made beyond the bound, which go when idle.

#include "platform/Dispatch.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace platform::detail {

constexpr std::size_t kQoSLevels = 5;

class WorkerPool {
public:
    // Bounds from the processors this process may run on.
    WorkerPool();
    WorkerPool(unsigned softCap, unsigned hardCap);
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void submit(QoS qos, std::function<void()> job);

    // A pool thread is about to wait for other work (a `sync`): make sure the waited-for work
    // finds a thread. Nothing on other threads.
    void enterWait();
    void leaveWait();

    // For tests: the counters at one moment, and a call each pool thread makes (unlocked)
    // each time it wakes for work, before it takes any.
    struct Counts {
        std::size_t queued = 0;
        std::size_t idle = 0;
        std::size_t wakeups = 0;
        unsigned threads = 0;
        unsigned blocked = 0;
        unsigned softCap = 0;
        bool watcherAsleep = false;
    };
    Counts counts() const;
    void setWakeHookForTesting(std::function<void()> hook);

private:
    void startThreadLocked();
    void watchForStarvationLocked();
    void watchLoop();
    void workerLoop();

    static thread_local const WorkerPool* current_; // the pool of the calling thread, if any

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::condition_variable watchCv_;
    std::array<std::deque<std::function<void()>>, kQoSLevels> jobs_;
    // Under mutex_, between calls:
    // - queued_ is the number of jobs in jobs_.
    // - idle_ counts threads in their wait for work; wakeups_ <= idle_ of them were woken for
    //   a job and have not run yet, so idle_ - wakeups_ threads are free for the next job.
    //   Work queued with none free (idle_ <= wakeups_) gets a new thread or the watcher.
    // - threads_ counts the pool threads alive; blocked_ <= threads_ of them wait in `sync`
    //   and do not count against softCap_.
    // - taken_ only grows: the watcher compares it across a pause.
    // - watcherAsleep_: the watcher waits for queued work and looks again only when notified.
    std::size_t queued_ = 0;
    std::size_t idle_ = 0;
    std::size_t wakeups_ = 0;
    std::uint64_t taken_ = 0;
    unsigned threads_ = 0;
    unsigned blocked_ = 0;
    unsigned softCap_ = 4;
    unsigned hardCap_ = 16;
    bool watching_ = false;
    bool watcherAsleep_ = false;
    std::function<void()> wakeHook_;
};

// The pool of the global and serial queues (never destroyed: its threads outlive statics).
WorkerPool& sharedPool();

} // namespace platform::detail
