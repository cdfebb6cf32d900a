#include "Sonavant/engine/LatestWriteQueue.h"

#include <utility>

LatestWriteQueue::LatestWriteQueue(std::string label)
    : queue_(platform::DispatchQueue::makeSerialOnOwnThread(std::move(label), platform::QoS::utility)) {}

LatestWriteQueue::~LatestWriteQueue() {
    wait();
}

void LatestWriteQueue::submit(std::function<void()> write) {
    {
        std::lock_guard lock(slot_->mutex);
        slot_->pending = std::move(write);
    }
    // One turn per write handed over; a turn that finds the slot empty had its write taken
    // by the turn before.
    queue_->async([slot = slot_] {
        std::function<void()> write;
        {
            std::lock_guard lock(slot->mutex);
            write = std::exchange(slot->pending, nullptr);
        }
        if (write)
            write();
    });
}

void LatestWriteQueue::wait() {
    queue_->sync([] {});
}
