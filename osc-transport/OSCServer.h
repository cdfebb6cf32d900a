#pragma once
// Listens on one UDP port (all interfaces, IPv4 and IPv6), decodes each datagram as an OSC
// packet and calls the handler for every message on the server's receive queue, unpacking
// bundles and, in osc1_0 mode, holding back messages tagged for the future.

#include "osc-transport/OSCServerUDPDelegate.h"
#include "osc-transport/OSCTimeTagMode.h"
#include "osc-transport/OSCUDPPacketHandler.h"
#include "sockets/UdpSocketEngine.h"

#include <cstdint>
#include <memory>

class OSCServer : public OSCUDPPacketHandler {
public:
    // Nothing is bound until start(); port 0 lets the system choose. `qos` is that of the
    // socket's reading and of the receive queue (where the handler runs).
    static std::shared_ptr<OSCServer> make(std::uint16_t port = 0,
                                           OSCTimeTagMode timeTagMode = OSCTimeTagMode::osc1_0,
                                           Handler handler = nullptr,
                                           platform::QoS qos = platform::QoS::defaultQoS);
    ~OSCServer() override;

    // Binds and starts receiving; throws UdpSocketEngineError (the port in use gives the
    // POSIX address-in-use error). Nothing when started.
    void start();
    void stop();

    // The kernel receive buffer asked for at the next start (see UdpSocketEngine).
    void setReceiveBufferSize(int bytes);
    // What the kernel gave the listening socket; 0 when not listening.
    int receiveBufferSize() const;

    // The port given at creation (0 = any).
    std::uint16_t localPort() const { return localPort_; }
    // The port the socket is bound to; 0 when not listening.
    std::uint16_t boundPort() const;

    struct Private {};
    OSCServer(Private, std::uint16_t port, OSCTimeTagMode timeTagMode, Handler handler, platform::QoS qos);

private:
    std::shared_ptr<OSCServerUDPDelegate> udpDelegate_;
    std::shared_ptr<UdpSocketEngine> udpSocket_;
    const std::uint16_t localPort_;
};
