#pragma once
// The receiving side shared by OSCServer and OSCSocket: each datagram that reaches the
// receive queue is decoded once, bundles are unpacked and every message is handed to the
// handler, at once or (in osc1_0 mode) at its bundle's time tag. The handler runs on the
// receive queue, one message after another; a datagram's messages all go to the handler
// that was installed when it was decoded.
//
// A handler may also take messages read in place: then, while time tags are ignored, a
// datagram whose every message the in-place reader covers is checked whole and its messages
// handed over as views (with their bytes), with no decoded copy. Anything else (a decode
// error, a kind the reader leaves out, nesting near the limit) takes the full decoder, so
// errors and their console lines stay the same.

#include "OSCCore/Data.h"
#include "OSCCore/OSCMessage.h"
#include "OSCCore/OSCObject.h"
#include "OSCCore/OSCPacketView.h"
#include "OSCCore/OSCTimeTag.h"
#include "osc-transport/OSCTimeTagMode.h"
#include "platform/Dispatch.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class UdpSocketEngine;

class OSCUDPPacketHandler : public std::enable_shared_from_this<OSCUDPPacketHandler> {
public:
    using Handler = std::function<void(const OSCMessage& message, const OSCTimeTag& timeTag)>;
    // Takes a message read in place; `bytes` are the message's own, valid during the call.
    using ViewHandler = std::function<void(const OSCMessageView& message, ByteView bytes)>;

    virtual ~OSCUDPPacketHandler() = default;
    OSCUDPPacketHandler(const OSCUDPPacketHandler&) = delete;
    OSCUDPPacketHandler& operator=(const OSCUDPPacketHandler&) = delete;

    // Replaces the handler; none drops messages.
    void setHandler(Handler handler);
    // Adds the in-place route beside the handler (none: every message is decoded in full).
    void setViewHandler(ViewHandler handler);
    OSCTimeTagMode timeTagMode() const;
    void setTimeTagMode(OSCTimeTagMode mode);
    bool isStarted() const;
    const platform::DispatchQueuePtr& receiveQueue() const { return receiveQueue_; }

    // On the receive queue (called by the socket's delegate).
    void handleDatagram(ByteView datagram);
    // The socket closed: unless it has been opened again meanwhile, this is no longer started.
    void socketDidClose(UdpSocketEngine& socket);

protected:
    OSCUDPPacketHandler(std::string label, std::string logPrefix, OSCTimeTagMode mode, Handler handler,
                        platform::QoS qos = platform::QoS::defaultQoS);

    void setStarted(bool started);

    // Held by start() and stop() so that a late close report cannot undo a fresh start.
    std::mutex lifecycleMutex_;

private:
    struct Delivery {
        std::shared_ptr<const Handler> handler;
        std::shared_ptr<const ViewHandler> viewHandler;
        OSCTimeTagMode mode = OSCTimeTagMode::ignore;
    };
    struct ReadMessage {
        OSCMessageView view;
        ByteView bytes;
    };
    // Reads every message of the datagram in place into `out`; false when the full decoder
    // must take it.
    static bool readInPlace(ByteView bytes, int depth, std::vector<ReadMessage>& out);
    void handlePacket(const OSCObject& packet, const OSCTimeTag& timeTag, const Delivery& delivery);
    void handleMessage(const OSCMessage& message, const OSCTimeTag& timeTag, const Delivery& delivery);
    void deliver(const OSCMessage& message, const OSCTimeTag& timeTag);

    platform::DispatchQueuePtr receiveQueue_;
    std::string logPrefix_;
    mutable std::mutex stateMutex_;
    std::shared_ptr<const Handler> handler_;
    std::shared_ptr<const ViewHandler> viewHandler_;
    OSCTimeTagMode timeTagMode_;
    bool isStarted_ = false;
};
