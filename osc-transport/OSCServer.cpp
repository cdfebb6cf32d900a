#include "osc-transport/OSCServer.h"

#include "osc-transport/OSCTransportSupport.h"

#include <algorithm>

using namespace osc_transport;

std::shared_ptr<OSCServer> OSCServer::make(std::uint16_t port, OSCTimeTagMode timeTagMode, Handler handler,
                                           platform::QoS qos) {
    auto server = std::make_shared<OSCServer>(Private{}, port, timeTagMode, std::move(handler), qos);
    server->udpDelegate_->setOscServer(server);
    return server;
}

OSCServer::OSCServer(Private, std::uint16_t port, OSCTimeTagMode timeTagMode, Handler handler,
                     platform::QoS qos)
    : OSCUDPPacketHandler("org.lumenfold.osc.OSCServer.receiveQueue", "OSCServer: ", timeTagMode,
                          std::move(handler), qos),
      udpDelegate_(std::make_shared<OSCServerUDPDelegate>()),
      // The socket is read on a thread of its own, a step above the handling: a burst waits in
      // our memory (bounded by the engine) rather than in the kernel's buffer, which drops
      // what it cannot hold.
      udpSocket_(UdpSocketEngine::make(
          udpDelegate_, receiveQueue(),
          platform::DispatchQueue::makeSerialOnOwnThread(
              "UdpSocketEngine",
              static_cast<platform::QoS>(
                  std::min(static_cast<int>(qos) + 1, static_cast<int>(platform::QoS::userInteractive)))))),
      localPort_(port) {}

OSCServer::~OSCServer() {
    // Free the port now, not when the last queued callback lets go of the socket.
    udpSocket_->close();
}

void OSCServer::start() {
    std::lock_guard lock(lifecycleMutex_);
    if (isStarted())
        return;
    udpSocket_->close();
    setStarted(false);
    std::optional<SocketError> error;
    if (!udpSocket_->bindToPort(localPort_, &error))
        throwSocketError(error);
    if (!udpSocket_->beginReceiving(&error)) {
        udpSocket_->close();
        throwSocketError(error);
    }
    setStarted(true);
}

void OSCServer::stop() {
    std::lock_guard lock(lifecycleMutex_);
    udpSocket_->close();
    setStarted(false);
}

std::uint16_t OSCServer::boundPort() const {
    return udpSocket_->localPort();
}

void OSCServer::setReceiveBufferSize(int bytes) {
    udpSocket_->setKernelReceiveBufferSize(bytes);
}

int OSCServer::receiveBufferSize() const {
    return udpSocket_->kernelReceiveBufferSize();
}
