#pragma once
// Remote commands on their way from the receiver's queue to the main thread. A command
// that only sets one value of one item (a source's tracked position; a loudspeaker's
// position, focus or width) replaces the pending one for the same item and value, so a
// flood costs one level pass per batch instead of one per datagram. It may only do so
// while no other command stands between the two: every other command (cue play, stop,
// snapshot recall, DS100 replies) keeps its place and its order. Any thread.
//
// A set-value command may come as data alone (its key and up to two numbers, no closure):
// a flood of them then costs no allocation per command.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

class RemoteCommandQueue {
public:
    enum class SetValue { trackPosition, speakerPosition, speakerFocus, speakerWidth };
    using Key = std::pair<SetValue, std::int64_t>; // which value, of which item

    struct Command {
        std::optional<Key> key;    // set-one-value commands only
        std::function<void()> run; // none: a set-value command given by `values`
        std::array<double, 2> values{};
    };

    // Adds a command; true when the queue was empty, so the caller schedules a drain.
    bool push(Command command);
    // Every pending command, in order; the queue is empty afterwards.
    std::vector<Command> takeAll();

    std::size_t pending() const;
    // Drains follow one another at least this far apart: under a flood, one level pass (and
    // its sends) covers what arrived meanwhile instead of a pass for every few commands.
    static constexpr std::chrono::microseconds drainSpacing{500};
    // How long the drain a push asks for should wait: zero when the last takeAll is at least
    // `drainSpacing` ago (or there was none), else the rest of that time.
    std::chrono::steady_clock::duration drainDelay() const;
    // Commands replaced by a newer one of the same key, since the queue was made.
    std::uint64_t coalesced() const;

private:
    mutable std::mutex mutex_;
    std::vector<Command> commands_;
    // Places of the keyed commands after the last other command.
    std::map<Key, std::size_t> tail_;
    std::uint64_t coalesced_ = 0;
    std::chrono::steady_clock::time_point lastTake_{};
};
