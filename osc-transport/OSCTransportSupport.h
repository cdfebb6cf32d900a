#pragma once
// Shared by the OSC transports over the UDP engine. Not a public header.

#include "sockets/UdpSocketEngineError.h"

#include <optional>

namespace osc_transport {

// Seconds a datagram may wait for room in the socket before it is given up.
inline constexpr double kSendTimeout = 1.0;

// The engine's error as the transports throw it; a failure without one is an other-error.
[[noreturn]] inline void throwSocketError(const std::optional<SocketError>& error) {
    if (error)
        throw UdpSocketEngineError(*error);
    throw UdpSocketEngineError(UdpSocketEngineError::otherError);
}

} // namespace osc_transport
