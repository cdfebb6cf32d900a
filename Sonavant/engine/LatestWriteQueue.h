#pragma once
// Writes run one after another on a thread of their own, off the main thread. A write
// handed over while an earlier one has not started yet takes its place: only the newest
// state is worth writing.

#include "platform/Dispatch.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class LatestWriteQueue {
public:
    explicit LatestWriteQueue(std::string label);
    ~LatestWriteQueue(); // waits for the writes handed over
    LatestWriteQueue(const LatestWriteQueue&) = delete;
    LatestWriteQueue& operator=(const LatestWriteQueue&) = delete;

    void submit(std::function<void()> write);
    // Returns once every write handed over so far has run or was replaced.
    void wait();

private:
    struct Slot {
        std::mutex mutex;
        std::function<void()> pending;
    };
    std::shared_ptr<Slot> slot_ = std::make_shared<Slot>();
    platform::DispatchQueuePtr queue_;
};
