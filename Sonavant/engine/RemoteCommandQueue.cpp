#include "Sonavant/engine/RemoteCommandQueue.h"

bool RemoteCommandQueue::push(Command command) {
    std::lock_guard lock(mutex_);
    const bool wasEmpty = commands_.empty();
    if (!command.key) {
        tail_.clear(); // nothing later may move in front of this one
        commands_.push_back(std::move(command));
        return wasEmpty;
    }
    if (auto it = tail_.find(*command.key); it != tail_.end()) {
        commands_[it->second].run = std::move(command.run);
        commands_[it->second].values = command.values;
        ++coalesced_;
        return false;
    }
    tail_.emplace(*command.key, commands_.size());
    commands_.push_back(std::move(command));
    return wasEmpty;
}

std::vector<RemoteCommandQueue::Command> RemoteCommandQueue::takeAll() {
    std::lock_guard lock(mutex_);
    tail_.clear();
    lastTake_ = std::chrono::steady_clock::now();
    return std::exchange(commands_, {});
}

std::size_t RemoteCommandQueue::pending() const {
    std::lock_guard lock(mutex_);
    return commands_.size();
}

std::uint64_t RemoteCommandQueue::coalesced() const {
    std::lock_guard lock(mutex_);
    return coalesced_;
}

std::chrono::steady_clock::duration RemoteCommandQueue::drainDelay() const {
    std::lock_guard lock(mutex_);
    if (lastTake_ == std::chrono::steady_clock::time_point{})
        return std::chrono::steady_clock::duration::zero();
    const auto since = std::chrono::steady_clock::now() - lastTake_;
    return since >= drainSpacing ? std::chrono::steady_clock::duration::zero() : drainSpacing - since;
}
