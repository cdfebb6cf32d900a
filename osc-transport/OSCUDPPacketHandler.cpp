#include "osc-transport/OSCUDPPacketHandler.h"

#include "OSCCore/OSCBundle.h"
#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCObjectType.h"
#include "platform/Log.h"
#include "sockets/UdpSocketEngine.h"

#include <algorithm>
#include <chrono>
#include <optional>

OSCUDPPacketHandler::OSCUDPPacketHandler(std::string label, std::string logPrefix, OSCTimeTagMode mode,
                                         Handler handler, platform::QoS qos)
    : receiveQueue_(platform::DispatchQueue::makeSerial(std::move(label), qos)),
      logPrefix_(std::move(logPrefix)),
      handler_(handler ? std::make_shared<const Handler>(std::move(handler)) : nullptr), timeTagMode_(mode) {}

void OSCUDPPacketHandler::setHandler(Handler handler) {
    auto shared = handler ? std::make_shared<const Handler>(std::move(handler)) : nullptr;
    std::lock_guard lock(stateMutex_);
    handler_ = std::move(shared);
}

void OSCUDPPacketHandler::setViewHandler(ViewHandler handler) {
    auto shared = handler ? std::make_shared<const ViewHandler>(std::move(handler)) : nullptr;
    std::lock_guard lock(stateMutex_);
    viewHandler_ = std::move(shared);
}

OSCTimeTagMode OSCUDPPacketHandler::timeTagMode() const {
    std::lock_guard lock(stateMutex_);
    return timeTagMode_;
}

void OSCUDPPacketHandler::setTimeTagMode(OSCTimeTagMode mode) {
    std::lock_guard lock(stateMutex_);
    timeTagMode_ = mode;
}

bool OSCUDPPacketHandler::isStarted() const {
    std::lock_guard lock(stateMutex_);
    return isStarted_;
}

void OSCUDPPacketHandler::setStarted(bool started) {
    std::lock_guard lock(stateMutex_);
    isStarted_ = started;
}

void OSCUDPPacketHandler::socketDidClose(UdpSocketEngine& socket) {
    std::lock_guard lock(lifecycleMutex_);
    if (socket.isClosed())
        setStarted(false);
}

bool OSCUDPPacketHandler::readInPlace(ByteView bytes, int depth, std::vector<ReadMessage>& out) {
    try {
        if (OSCBundleView::isBundle(bytes)) {
            for (ByteView element : OSCBundleView::parse(bytes)) {
                // The full decoder names what is wrong with these, and refuses the deepest.
                if (element.empty() ||
                    (element[0] != OSCMessage::addressPrefix && !OSCBundleView::isBundle(element)))
                    return false;
                if (OSCBundleView::isBundle(element) && depth >= OSCBundle::maxNestingDepth)
                    return false;
                if (!readInPlace(element, depth + 1, out))
                    return false;
            }
            return true;
        }
        ReadMessage message{{}, bytes};
        if (OSCMessageView::parse(bytes, message.view) != OSCMessageView::Status::ok)
            return false;
        out.push_back(message);
        return true;
    } catch (const OSCDecodeError&) {
        return false;
    }
}

void OSCUDPPacketHandler::handleDatagram(ByteView datagram) {
    // The whole packet is one piece of work: the handlers and the mode are read once for it.
    const bool bundle = oscObjectType(datagram) == OSCObjectType::bundle;
    if (!bundle) {
        // Most garbage fails at its length or first byte: the decoder's line, no exception.
        if (const char* refusal = OSCMessage::headRefusal(datagram)) {
            platform::consoleLog({logPrefix_, "Malformed data: ", refusal});
            return;
        }
    }
    Delivery delivery;
    {
        std::lock_guard lock(stateMutex_);
        delivery = {handler_, viewHandler_, timeTagMode_};
    }
    if (delivery.viewHandler && delivery.mode == OSCTimeTagMode::ignore) {
        // Checked whole before the first message is handed over, as the full decoder does.
        thread_local std::vector<ReadMessage> messages;
        messages.clear();
        if (readInPlace(datagram, 1, messages)) {
            for (const ReadMessage& message : messages)
                (*delivery.viewHandler)(message.view, message.bytes);
            return;
        }
    }
    // A bundle by its header, anything else must be a message; what does not decode is dropped.
    std::optional<OSCObject> packet;
    try {
        if (bundle)
            packet.emplace(OSCBundle::fromRawData(datagram));
        else
            packet.emplace(OSCMessage::fromRawData(datagram));
    } catch (const OSCDecodeError& error) {
        platform::consoleLog(logPrefix_ + error.what());
        return;
    }
    handlePacket(*packet, OSCTimeTag::immediate(), delivery);
}

void OSCUDPPacketHandler::handlePacket(const OSCObject& packet, const OSCTimeTag& timeTag,
                                       const Delivery& delivery) {
    if (const OSCMessage* message = packet.message()) {
        handleMessage(*message, timeTag, delivery);
        return;
    }
    const OSCBundle& bundle = *packet.bundle();
    for (const OSCObject& element : bundle.elements())
        handlePacket(element, bundle.timeTag(), delivery);
}

void OSCUDPPacketHandler::handleMessage(const OSCMessage& message, const OSCTimeTag& timeTag,
                                        const Delivery& delivery) {
    if (delivery.mode == OSCTimeTagMode::ignore || timeTag.isImmediate()) {
        if (delivery.handler)
            (*delivery.handler)(message, timeTag);
        return;
    }
    // Received tags carry no era: the wait is read in the era nearest to now.
    const double seconds = timeTag.receivedWaitFrom(OSCTimeTag::now());
    if (seconds <= 0) {
        if (delivery.handler)
            (*delivery.handler)(message, timeTag);
        return;
    }
    std::weak_ptr<OSCUDPPacketHandler> weak = weak_from_this();
    receiveQueue_->asyncAfter(
        std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(seconds)),
        [weak, message, timeTag] {
            if (auto self = weak.lock())
                self->deliver(message, timeTag);
        });
}

void OSCUDPPacketHandler::deliver(const OSCMessage& message, const OSCTimeTag& timeTag) {
    std::shared_ptr<const Handler> handler;
    {
        std::lock_guard lock(stateMutex_);
        handler = handler_;
    }
    if (handler)
        (*handler)(message, timeTag);
}
