#pragma once
// Callbacks of UdpSocketEngine. Every callback is optional and runs asynchronously on the
// engine's delegate queue; a delegate that declines a callback in respondsTo() is not even
// queued for it.

#include "sockets/SocketError.h"

#include <any>
#include <cstdint>
#include <optional>
#include <vector>

class UdpSocketEngine;

class UdpSocketEngineDelegate {
public:
    using Bytes = std::vector<std::uint8_t>;

    enum class Callback { didConnect, didNotConnect, didSend, didNotSend, didReceive, didClose };

    virtual ~UdpSocketEngineDelegate() = default;

    virtual bool respondsTo(Callback) const { return true; }

    // `address` is a socket-address record (sockaddr_in or sockaddr_in6 bytes).
    virtual void udpSocketDidConnectToAddress(UdpSocketEngine&, const Bytes& /*address*/) {}
    virtual void udpSocketDidNotConnect(UdpSocketEngine&, const std::optional<SocketError>&) {}
    virtual void udpSocketDidSendDataWithTag(UdpSocketEngine&, std::int64_t /*tag*/) {}
    virtual void udpSocketDidNotSendDataWithTag(UdpSocketEngine&, std::int64_t /*tag*/,
                                                const std::optional<SocketError>&) {}
    virtual void udpSocketDidReceiveData(UdpSocketEngine&, const Bytes& /*data*/,
                                         const Bytes& /*fromAddress*/, const std::any& /*filterContext*/) {}
    virtual void udpSocketDidCloseWithError(UdpSocketEngine&, const std::optional<SocketError>&) {}
};
