#pragma once
// What the latency benchmarks share: a desk on loopback that notes when each datagram
// arrives, and the percentile of the latencies measured.

#include "support/Loopback.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
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

    ListeningDesk() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        port_ = support::bindToLoopback(fd_);
        timeval timeout{0, 100'000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        thread_ = std::thread([this] { run(); });
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
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0)
                continue;
            const auto now = Clock::now();
            std::lock_guard lock(mutex_);
            arrivals_.push_back(now);
            changed_.notify_all();
        }
    }
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

} // namespace benchsupport
