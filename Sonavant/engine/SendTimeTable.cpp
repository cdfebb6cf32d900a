#include "Sonavant/engine/SendTimeTable.h"

#include <algorithm>

SendTimeTable::Admission SendTimeTable::admit(const std::string& key, std::uint64_t sequence,
                                              Clock::time_point now, Clock::duration interval, bool throttle,
                                              Release& release) {
    std::lock_guard lock(mutex_);
    Entry& entry = entries_[key];
    const bool tooSoon = throttle && entry.lastSent && now - *entry.lastSent < interval;
    if (!tooSoon) {
        if (throttle && entry.lastSent && sequence < entry.lastSentSequence)
            return {Verdict::dropped, {}};
        entry.lastSent = now;
        entry.lastSentSequence = std::max(entry.lastSentSequence, sequence);
        if (entry.held && entry.heldSequence < sequence)
            entry.held = nullptr;
        return {Verdict::send, {}};
    }
    const std::uint64_t newest = std::max(entry.lastSentSequence, entry.held ? entry.heldSequence : 0);
    if (sequence < newest || (sequence == newest && entry.held))
        return {Verdict::dropped, {}};
    entry.held = std::move(release);
    entry.heldSequence = sequence;
    if (entry.releaseScheduled)
        return {Verdict::held, {}};
    entry.releaseScheduled = true;
    return {Verdict::holdFirst, interval - (now - *entry.lastSent)};
}

SendTimeTable::Due SendTimeTable::release(const std::string& key, Clock::time_point now,
                                          Clock::duration interval) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end())
        return {};
    Entry& entry = it->second;
    if (!entry.held) {
        entry.releaseScheduled = false;
        return {};
    }
    if (entry.lastSent && now - *entry.lastSent < interval)
        return {nullptr, interval - (now - *entry.lastSent)};
    entry.lastSent = now;
    entry.lastSentSequence = std::max(entry.lastSentSequence, entry.heldSequence);
    entry.releaseScheduled = false;
    Due due{std::move(entry.held), std::nullopt};
    entry.held = nullptr;
    return due;
}

std::optional<SendTimeTable::Clock::time_point> SendTimeTable::lastSendTime(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    return it == entries_.end() ? std::nullopt : it->second.lastSent;
}

std::size_t SendTimeTable::heldCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        entries_.begin(), entries_.end(), [](const auto& e) { return static_cast<bool>(e.second.held); }));
}

void SendTimeTable::deliver(const std::string& address, std::uint64_t sequence,
                            const std::function<void()>& wire) {
    std::lock_guard lock(deliveryMutex_);
    std::uint64_t& newest = delivered_[address];
    if (sequence < newest)
        return;
    newest = sequence;
    wire();
}

SendTimeTable::Release heldUntilOutputOn(std::shared_ptr<LockedValue<bool>> outputOn,
                                         SendTimeTable::Release send) {
    // Sends already on their way (staggered) go out whatever the switch says; a held one
    // only leaves while output is still on.
    return [outputOn = std::move(outputOn), send = std::move(send)] {
        if (!outputOn || outputOn->get())
            send();
    };
}
