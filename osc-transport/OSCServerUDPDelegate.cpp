#include "osc-transport/OSCServerUDPDelegate.h"

#include "osc-transport/OSCUDPPacketHandler.h"

void OSCServerUDPDelegate::setOscServer(std::weak_ptr<OSCUDPPacketHandler> server) {
    std::lock_guard lock(mutex_);
    oscServer_ = std::move(server);
}

std::shared_ptr<OSCUDPPacketHandler> OSCServerUDPDelegate::oscServer() const {
    std::lock_guard lock(mutex_);
    return oscServer_.lock();
}

void OSCServerUDPDelegate::udpSocketDidReceiveData(UdpSocketEngine&, const Bytes& data, const Bytes&,
                                                   const std::any&) {
    if (auto server = oscServer())
        server->handleDatagram(data);
}

void OSCServerUDPDelegate::udpSocketDidCloseWithError(UdpSocketEngine& socket,
                                                      const std::optional<SocketError>&) {
    if (auto server = oscServer())
        server->socketDidClose(socket);
}
