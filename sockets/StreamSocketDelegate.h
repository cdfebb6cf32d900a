#pragma once
// Receiver of a StreamSocket's callbacks. Every method is optional; each is called on the
// socket's delegate queue, never on its socket queue.

#include "platform/Dispatch.h"
#include "sockets/SocketError.h"
#include "sockets/StreamSocketData.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class StreamSocket;
class StreamSocketTrust;

class StreamSocketDelegate {
public:
    virtual ~StreamSocketDelegate() = default;

    // An accepted connection needs a socket queue (none: the child makes its own).
    virtual platform::DispatchQueuePtr
    newSocketQueueForConnectionFromAddress(const std::vector<std::uint8_t>&, StreamSocket&) {
        return nullptr;
    }
    // The owner must keep `newSocket`, or it closes.
    virtual void socketDidAcceptNewSocket(StreamSocket&, std::shared_ptr<StreamSocket>) {}
    virtual void socketDidConnectToHost(StreamSocket&, const std::string&, std::uint16_t) {}
    virtual void socketDidConnectToUrl(StreamSocket&, const std::string&) {}

    virtual void socketDidReadData(StreamSocket&, const StreamSocketData&, std::int64_t) {}
    virtual void socketDidReadPartialDataOfLength(StreamSocket&, std::uint64_t, std::int64_t) {}
    // Seconds to add to a read that timed out (tag, elapsed seconds, bytes done); 0 or less gives up.
    virtual double socketShouldTimeoutReadWithTag(StreamSocket&, std::int64_t, double, std::uint64_t) {
        return 0;
    }
    virtual void socketDidCloseReadStream(StreamSocket&) {}

    virtual void socketDidWriteDataWithTag(StreamSocket&, std::int64_t) {}
    virtual void socketDidWritePartialDataOfLength(StreamSocket&, std::uint64_t, std::int64_t) {}
    virtual double socketShouldTimeoutWriteWithTag(StreamSocket&, std::int64_t, double, std::uint64_t) {
        return 0;
    }

    virtual void socketDidSecure(StreamSocket&) {}
    // Manual trust: decide on the peer and call the handler once, from any thread (true to
    // trust). Return false to say the delegate does not evaluate trust; the socket then closes.
    virtual bool socketDidReceiveTrust(StreamSocket&, std::shared_ptr<StreamSocketTrust>,
                                       std::function<void(bool)>) {
        return false;
    }

    // No error for a disconnect the owner asked for.
    virtual void socketDidDisconnect(StreamSocket&, const std::optional<SocketError>&) {}
};
