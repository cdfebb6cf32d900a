#pragma once
// Internals shared by the UdpSocketEngine sources. Not a public header.

#include "sockets/UdpSocketEngine.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <type_traits>
#include <vector>

namespace udp_engine {

enum Flags : std::uint32_t {
    kDidCreateSockets = 1 << 0,
    kDidBind = 1 << 1,
    kConnecting = 1 << 2,
    kDidConnect = 1 << 3,
    kReceiveOnce = 1 << 4,
    kReceiveContinuous = 1 << 5,
    kIPv4Deactivated = 1 << 6,
    kIPv6Deactivated = 1 << 7,
    kSend4SourceSuspended = 1 << 8,
    kSend6SourceSuspended = 1 << 9,
    kReceive4SourceSuspended = 1 << 10,
    kReceive6SourceSuspended = 1 << 11,
    kSock4CanAcceptBytes = 1 << 12,
    kSock6CanAcceptBytes = 1 << 13,
    kCloseAfterSends = 1 << 15,
    kFlipFlop = 1 << 16,
};

enum Config : std::uint16_t {
    kIPv4Disabled = 1 << 0,
    kIPv6Disabled = 1 << 1,
    kPreferIPv4 = 1 << 2,
    kPreferIPv6 = 1 << 3,
};

// The system call behind every datagram sent (a null address on a connected socket). Tests
// put another in its place to play a socket that has no room.
using SendToFunction = long (*)(int fd, const void* buffer, std::size_t length, int flags,
                                const sockaddr* address, socklen_t addressLength);
extern std::atomic<SendToFunction> sendToFunction;

// Socket addresses as the engine keeps them.
UdpSocketEngine::Bytes bytesOf(const void* address, std::size_t length);
UdpSocketEngine::Bytes loopbackAddress4(std::uint16_t port);
UdpSocketEngine::Bytes loopbackAddress6(std::uint16_t port);

// Internal invariant broken: stop with the message.
[[noreturn]] void programmingError(const char* message);

inline constexpr const char* kHostNilText =
    "The host param is nil. Should be domain name or IP address string.";
inline constexpr const char* kUnknownInterfaceText =
    "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.";
inline constexpr const char* kBothDisabledText =
    "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.";
inline constexpr const char* kFilterQueueText =
    "Must provide a dispatch_queue in which to run the filter block.";

} // namespace udp_engine

// A queued datagram or connect request.
struct UdpSocketEngine::Packet {
    enum class Kind { send, connect };
    explicit Packet(Kind kind) : kind(kind) {}

    const Kind kind;

    // Datagram
    Bytes buffer;
    double timeout = -1; // seconds; negative: none
    std::int64_t tag = 0;
    bool filterInProgress = false;

    // Both kinds: the destination, resolved or given.
    bool resolveInProgress = false;
    std::vector<Bytes> resolvedAddresses;
    std::optional<SocketError> resolveError;
    Bytes address; // chosen address
    int addressFamily = 0;
};

template <class F> auto UdpSocketEngine::syncOnSocketQueue(F&& f) const -> decltype(f()) {
    if (socketQueue_->isCurrent())
        return f();
    if constexpr (std::is_void_v<decltype(f())>)
        socketQueue_->sync(f);
    else
        return socketQueue_->syncResult(f);
}
