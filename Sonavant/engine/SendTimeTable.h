#pragma once
// The one owner of `lastSendTime`: per destination key, when a send was last let through.
// Level sends check and stamp it on the global send queue, DS100 positions on the main
// thread; every check-and-update happens under one lock.
//
// A send that the throttle holds back is not forgotten: the newest one per destination is
// kept and released once the interval since the last send has passed, so the last level
// of a drag, fade or cue always reaches the desk while the rate limit stays. Sends carry a
// sequence number in the order they were decided, so an older one never replaces or
// follows a newer one.

#include "Sonavant/engine/LockedValue.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

class SendTimeTable {
public:
    using Clock = std::chrono::steady_clock;
    // Performs a held-back send (the wire step only; the throttle has been passed).
    using Release = std::function<void()>;

    enum class Verdict {
        send,      // stamped: send now
        held,      // throttled; kept as the newest held send of the key
        holdFirst, // as held, and no release is scheduled yet: schedule one after `wait`
        dropped    // throttled, and something newer already went out or is held
    };
    struct Admission {
        Verdict verdict = Verdict::send;
        Clock::duration wait{};
    };

    // With `throttle` false the check is skipped (the send is still stamped). On `held` and
    // `holdFirst` the table takes `release` over; otherwise it is left alone.
    Admission admit(const std::string& key, std::uint64_t sequence, Clock::time_point now,
                    Clock::duration interval, bool throttle, Release& release);

    struct Due {
        Release send;                             // stamped: perform it
        std::optional<Clock::duration> waitAgain; // not due yet: schedule again after this
    };
    // The held send of `key` once the interval has passed. Nothing (and no wait) when there
    // is none any more.
    Due release(const std::string& key, Clock::time_point now, Clock::duration interval);

    std::optional<Clock::time_point> lastSendTime(const std::string& key) const;
    std::size_t heldCount() const;

    // The wire step of a send decided as `sequence` for `address`. Each send closes the
    // address to every send decided before it, level or bring-down, whichever pair it came
    // from: one still waiting out its stagger or the throttle is dropped, never put on the
    // wire after the newer one.
    void deliver(const std::string& address, std::uint64_t sequence, const std::function<void()>& wire);

private:
    struct Entry {
        std::optional<Clock::time_point> lastSent;
        std::uint64_t lastSentSequence = 0;
        Release held;
        std::uint64_t heldSequence = 0;
        bool releaseScheduled = false;
    };
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
    // Held while a send is checked against its address and handed to the wire, so two sends
    // to one address cannot pass each other.
    std::mutex deliveryMutex_;
    std::unordered_map<std::string, std::uint64_t> delivered_; // address: the newest sequence sent
};

// `send` as a held send: when it leaves, it goes out only while `outputOn` holds true.
SendTimeTable::Release heldUntilOutputOn(std::shared_ptr<LockedValue<bool>> outputOn,
                                         SendTimeTable::Release send);
