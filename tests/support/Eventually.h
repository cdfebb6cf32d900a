#pragma once
// Polling for work on other threads; the caller picks the deadline.

#include <chrono>
#include <functional>
#include <thread>

namespace support {

// A costly condition (a screen grab, a file read) asks for a longer `poll`.
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                       std::chrono::milliseconds poll = std::chrono::milliseconds(2)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(poll);
    }
    return true;
}

} // namespace support
