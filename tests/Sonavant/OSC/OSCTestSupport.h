#pragma once
// Bounded waits for the networking tests: every wait has a deadline.

#include "platform/Log.h"
#include "platform/RunLoop.h"

#include <chrono>
#include <functional>
#include <string_view>
#include <thread>

namespace osctest {

using namespace std::chrono_literals;

inline constexpr auto deadline = 5s;

// Polls `condition` off the main loop (socket work runs on its own threads).
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = deadline) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Drives the main run loop until `condition` holds (for work that hops to the main queue).
inline bool mainLoopUntil(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout = deadline) {
    platform::MainRunLoop::adoptCurrentThread();
    return platform::MainRunLoop::runUntil(condition, timeout);
}

inline bool logged(const platform::LogCapture& capture, std::string_view fragment,
                   std::chrono::milliseconds timeout = deadline) {
    return eventually([&] { return capture.contains(fragment); }, timeout);
}

inline std::size_t countLines(const platform::LogCapture& capture, std::string_view fragment) {
    std::size_t n = 0;
    for (const auto& line : capture.lines())
        n += line.find(fragment) != std::string::npos ? 1 : 0;
    return n;
}

} // namespace osctest
