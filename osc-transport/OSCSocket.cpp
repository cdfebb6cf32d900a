#include "osc-transport/OSCSocket.h"

#include "osc-transport/OSCTransportSupport.h"

using namespace osc_transport;

std::shared_ptr<OSCSocket> OSCSocket::make(std::optional<std::uint16_t> localPort,
                                           std::optional<std::string> remoteHost,
                                           std::optional<std::uint16_t> remotePort,
                                           OSCTimeTagMode timeTagMode, bool isIPv4BroadcastEnabled,
                                           Handler handler) {
    auto socket = std::make_shared<OSCSocket>(Private{}, localPort, std::move(remoteHost), remotePort,
                                              timeTagMode, isIPv4BroadcastEnabled, std::move(handler));
    socket->udpDelegate_->setOscServer(socket);
    return socket;
}

OSCSocket::OSCSocket(Private, std::optional<std::uint16_t> localPort, std::optional<std::string> remoteHost,
                     std::optional<std::uint16_t> remotePort, OSCTimeTagMode timeTagMode,
                     bool isIPv4BroadcastEnabled, Handler handler)
    : OSCUDPPacketHandler("org.lumenfold.osc.OSCSocket.receiveQueue", "OSCSocket: ", timeTagMode,
                          std::move(handler)),
      udpDelegate_(std::make_shared<OSCServerUDPDelegate>()),
      udpSocket_(UdpSocketEngine::make(udpDelegate_, receiveQueue())), remoteHost_(std::move(remoteHost)),
      localPort_(localPort), remotePort_(remotePort), isIPv4BroadcastEnabled_(isIPv4BroadcastEnabled) {}

OSCSocket::~OSCSocket() {
    udpSocket_->close();
}

std::uint16_t OSCSocket::localPort() const {
    return udpSocket_->localPort();
}

std::uint16_t OSCSocket::remotePort() const {
    {
        std::lock_guard lock(settingsMutex_);
        if (remotePort_)
            return *remotePort_;
    }
    return localPort();
}

void OSCSocket::setRemotePort(std::optional<std::uint16_t> port) {
    std::lock_guard lock(settingsMutex_);
    remotePort_ = port;
}

std::optional<std::string> OSCSocket::remoteHost() const {
    std::lock_guard lock(settingsMutex_);
    return remoteHost_;
}

void OSCSocket::setRemoteHost(std::optional<std::string> host) {
    std::lock_guard lock(settingsMutex_);
    remoteHost_ = std::move(host);
}

void OSCSocket::start() {
    std::lock_guard lock(lifecycleMutex_);
    if (isStarted())
        return;
    std::optional<SocketError> error;
    if (!udpSocket_->enableBroadcast(isIPv4BroadcastEnabled_, &error))
        throwSocketError(error);
    if (!udpSocket_->bindToPort(localPort_.value_or(0), &error))
        throwSocketError(error);
    if (!udpSocket_->beginReceiving(&error))
        throwSocketError(error);
    setStarted(true);
}

void OSCSocket::stop() {
    std::lock_guard lock(lifecycleMutex_);
    udpSocket_->close();
    setStarted(false);
}

template <class Packet>
void OSCSocket::sendPacket(const Packet& packet, std::optional<std::string> host,
                           std::optional<std::uint16_t> port) {
    if (!isStarted())
        throw UdpSocketEngineError(UdpSocketEngineError::closedError,
                                   {{"Reason", "OSC socket has not been started yet."}});
    if (!host)
        host = remoteHost();
    if (!host)
        throw UdpSocketEngineError(
            UdpSocketEngineError::closedError,
            {{"Reason", "Remote host is not specified in OSCSocket.remoteHost property or in "
                        "host parameter in call to send()."}});
    Data data = packet.rawData();
    if (!port) {
        std::lock_guard lock(settingsMutex_);
        port = remotePort_;
    }
    udpSocket_->sendData(std::move(data), *host, port ? *port : localPort(), kSendTimeout, 0);
}

void OSCSocket::send(const OSCMessage& message, std::optional<std::string> host,
                     std::optional<std::uint16_t> port) {
    sendPacket(message, std::move(host), port);
}

void OSCSocket::send(const OSCBundle& bundle, std::optional<std::string> host,
                     std::optional<std::uint16_t> port) {
    sendPacket(bundle, std::move(host), port);
}

void OSCSocket::send(const OSCObject& packet, std::optional<std::string> host,
                     std::optional<std::uint16_t> port) {
    sendPacket(packet, std::move(host), port);
}
