#pragma once
// Shared by the sources of StreamSocket: its state and configuration bits and small helpers.

#include "sockets/StreamSocket.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace StreamSocketFlags {
inline constexpr std::uint32_t kSocketStarted = 1 << 0; // the disconnect callback is owed
inline constexpr std::uint32_t kConnected = 1 << 1;
inline constexpr std::uint32_t kForbidReadsWrites = 1 << 2; // requests refused
inline constexpr std::uint32_t kReadsPaused = 1 << 3;       // a read timeout is being decided
inline constexpr std::uint32_t kWritesPaused = 1 << 4;      // a write timeout is being decided
inline constexpr std::uint32_t kDisconnectAfterReads = 1 << 5;
inline constexpr std::uint32_t kDisconnectAfterWrites = 1 << 6;
inline constexpr std::uint32_t kSocketCanAcceptBytes = 1 << 7;
inline constexpr std::uint32_t kReadSourceSuspended = 1 << 8;
inline constexpr std::uint32_t kWriteSourceSuspended = 1 << 9;
inline constexpr std::uint32_t kQueuedTLS = 1 << 10;
inline constexpr std::uint32_t kStartingReadTLS = 1 << 11;
inline constexpr std::uint32_t kStartingWriteTLS = 1 << 12;
inline constexpr std::uint32_t kSocketSecure = 1 << 13;
inline constexpr std::uint32_t kSocketHasReadEOF = 1 << 14;
inline constexpr std::uint32_t kReadStreamClosed = 1 << 15;

inline constexpr std::uint16_t kIPv4Disabled = 1 << 0;
inline constexpr std::uint16_t kIPv6Disabled = 1 << 1;
inline constexpr std::uint16_t kPreferIPv6 = 1 << 2;
inline constexpr std::uint16_t kAllowHalfDuplexConnection = 1 << 3;
} // namespace StreamSocketFlags

// Seconds as a dispatch delay, clamped so absurd timeouts cannot overflow.
inline platform::Duration secondsToDuration(double seconds) {
    const double clamped = std::clamp(seconds, 0.0, 1.0e9);
    return std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(clamped));
}

template <class F> void StreamSocket::notifyDelegate(F&& call) {
    if (!delegateQueue_)
        return;
    delegateQueue_->async(
        [self = shared_from_this(), delegate = delegate_, call = std::forward<F>(call)]() mutable {
            if (auto target = delegate.lock())
                call(*target, *self);
        });
}
