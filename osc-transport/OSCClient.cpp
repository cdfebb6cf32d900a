#include "osc-transport/OSCClient.h"

#include "osc-transport/OSCTransportSupport.h"

using namespace osc_transport;

OSCClient::OSCClient()
    : udpSocket_(UdpSocketEngine::make()), udpDelegate_(std::make_shared<OSCClientUDPDelegate>()) {
    udpSocket_->setDelegate(udpDelegate_, platform::DispatchQueue::global(platform::QoS::defaultQoS));
}

OSCClient::OSCClient(std::optional<std::uint16_t> localPort, bool isPortReuseEnabled,
                     bool isIPv4BroadcastEnabled)
    : OSCClient() {
    localPort_ = localPort;
    isPortReuseEnabled_ = isPortReuseEnabled;
    isIPv4BroadcastEnabled_ = isIPv4BroadcastEnabled;
    udpSocket_->enableBroadcast(isIPv4BroadcastEnabled);
}

OSCClient::~OSCClient() {
    udpSocket_->close();
    isStarted_ = false;
}

std::uint16_t OSCClient::localPort() const {
    return udpSocket_->localPort();
}

void OSCClient::setIPv4BroadcastEnabled(bool enabled) {
    isIPv4BroadcastEnabled_ = enabled;
    udpSocket_->enableBroadcast(enabled);
}

void OSCClient::start() {
    if (isStarted_)
        return;
    udpSocket_->close();
    isStarted_ = false;
    std::optional<SocketError> error;
    if (!udpSocket_->enableReusePort(isPortReuseEnabled_, &error))
        throwSocketError(error);
    if (!udpSocket_->enableBroadcast(isIPv4BroadcastEnabled_, &error))
        throwSocketError(error);
    if (!udpSocket_->bindToPort(localPort_.value_or(0), &error))
        throwSocketError(error);
    isStarted_ = true;
}

void OSCClient::stop() {
    udpSocket_->close();
    isStarted_ = false;
}

void OSCClient::send(const OSCMessage& message, const std::string& host, std::uint16_t port) {
    sendData(message.rawData(), host, port);
}

void OSCClient::send(const OSCBundle& bundle, const std::string& host, std::uint16_t port) {
    sendData(bundle.rawData(), host, port);
}

void OSCClient::send(const OSCObject& packet, const std::string& host, std::uint16_t port) {
    sendData(packet.rawData(), host, port);
}

void OSCClient::sendData(Data data, const std::string& host, std::uint16_t port) {
    udpSocket_->sendData(std::move(data), host, port, kSendTimeout, 0);
}
