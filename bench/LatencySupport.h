#pragma once
// What the latency benchmarks share: a desk on loopback that notes when each datagram
// arrives, the command-to-datagram measurement, and the percentile of the latencies measured.

#include "platform/RunLoop.h"
#include "support/Loopback.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace benchsupport {

// A UDP socket on 127.0.0.1 standing in for a desk.
class ListeningDesk {
public:
    using Clock = std::chrono::steady_clock;

    // `observe`, when given, sees every datagram on the desk's thread as it arrives.
    using Observer = std::function<void(const std::uint8_t* bytes, std::size_t size, Clock::time_point at)>;

    explicit ListeningDesk(Observer observe = nullptr) : observe_(std::move(observe)) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        port_ = support::bindToLoopback(fd_);
        int roomy = 8 * 1024 * 1024; // a busy level pass is not lost to a small buffer
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &roomy, sizeof roomy);
        timeval timeout{0, 100'000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        thread_ = std::thread([this] {
            pthread_setname_np(pthread_self(), "desk");
            run();
        });
    }
    ~ListeningDesk() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return arrivals_.size();
    }
    std::optional<Clock::time_point> arrival(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return index < arrivals_.size() ? std::optional(arrivals_[index]) : std::nullopt;
    }
    bool waitFor(std::size_t count, Clock::duration timeout) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return arrivals_.size() >= count; });
    }

private:
    void run() {
        std::uint8_t buffer[2048];
        while (!stop_) {
            const ssize_t size = ::recv(fd_, buffer, sizeof buffer, 0);
            if (size <= 0)
                continue;
            const auto now = Clock::now();
            if (observe_)
                observe_(buffer, static_cast<std::size_t>(size), now);
            std::lock_guard lock(mutex_);
            arrivals_.push_back(now);
            changed_.notify_all();
        }
    }
    Observer observe_;
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Clock::time_point> arrivals_;
    std::thread thread_;
};

// The value `p` (0 to 1) of the way up the sorted values; NaN when there are none.
inline double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size()))) - 1;
    return values[std::min(index, values.size() - 1)];
}

inline double ms(ListeningDesk::Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// One command an iteration, `send(i)` on the main thread, and the time from it to the desk's
// next datagram, less the loudspeaker's `stagger`; the main loop then runs for `settle` so the
// pass is out before the next command. Records p50, p99, max and commands never answered.
template <class Send>
void measureCommandToDatagram(benchmark::State& state, const ListeningDesk& desk, Send send,
                              ListeningDesk::Clock::duration stagger, ListeningDesk::Clock::duration settle) {
    using namespace std::chrono_literals;
    std::vector<double> latencies;
    std::int64_t lost = 0;
    int i = 0;
    for (auto _ : state) {
        const std::size_t before = desk.count();
        const auto sentAt = ListeningDesk::Clock::now();
        send(i++);
        if (!platform::MainRunLoop::runUntil([&] { return desk.count() > before; }, 2s)) {
            ++lost;
            continue;
        }
        latencies.push_back(ms(*desk.arrival(before) - sentAt - stagger));
        platform::MainRunLoop::runFor(settle);
    }
    state.counters["p50_ms"] = percentile(latencies, 0.50);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["max_ms"] =
        latencies.empty() ? NAN : *std::max_element(latencies.begin(), latencies.end());
    state.counters["lost"] = static_cast<double>(lost);
}

} // namespace benchsupport
