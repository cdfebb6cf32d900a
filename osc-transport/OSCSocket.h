#pragma once
// One UDP socket that both receives OSC (exactly as OSCServer does) and sends it, by default
// to a remote host and port of its own.

#include "OSCCore/OSCBundle.h"
#include "OSCCore/OSCMessage.h"
#include "OSCCore/OSCObject.h"
#include "osc-transport/OSCServerUDPDelegate.h"
#include "osc-transport/OSCTimeTagMode.h"
#include "osc-transport/OSCUDPPacketHandler.h"
#include "sockets/UdpSocketEngine.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class OSCSocket : public OSCUDPPacketHandler {
public:
    // Nothing is bound until start(); no local port lets the system choose.
    static std::shared_ptr<OSCSocket> make(std::optional<std::uint16_t> localPort = std::nullopt,
                                           std::optional<std::string> remoteHost = std::nullopt,
                                           std::optional<std::uint16_t> remotePort = std::nullopt,
                                           OSCTimeTagMode timeTagMode = OSCTimeTagMode::osc1_0,
                                           bool isIPv4BroadcastEnabled = false, Handler handler = nullptr);
    ~OSCSocket() override;

    // The socket's bound port; 0 before it is bound.
    std::uint16_t localPort() const;
    // The remote port when set, else the local port.
    std::uint16_t remotePort() const;
    void setRemotePort(std::optional<std::uint16_t> port);
    std::optional<std::string> remoteHost() const;
    void setRemoteHost(std::optional<std::string> host);

    // Throws UdpSocketEngineError. Nothing when started.
    void start();
    void stop();

    // To the given host and port, else the remote ones (the local port when no remote port).
    // Throws UdpSocketEngineError (not started, no host) or OSCEncodeError.
    void send(const OSCMessage& message, std::optional<std::string> host = std::nullopt,
              std::optional<std::uint16_t> port = std::nullopt);
    void send(const OSCBundle& bundle, std::optional<std::string> host = std::nullopt,
              std::optional<std::uint16_t> port = std::nullopt);
    void send(const OSCObject& packet, std::optional<std::string> host = std::nullopt,
              std::optional<std::uint16_t> port = std::nullopt);

    struct Private {};
    OSCSocket(Private, std::optional<std::uint16_t> localPort, std::optional<std::string> remoteHost,
              std::optional<std::uint16_t> remotePort, OSCTimeTagMode timeTagMode,
              bool isIPv4BroadcastEnabled, Handler handler);

private:
    template <class Packet>
    void sendPacket(const Packet& packet, std::optional<std::string> host, std::optional<std::uint16_t> port);

    std::shared_ptr<OSCServerUDPDelegate> udpDelegate_;
    std::shared_ptr<UdpSocketEngine> udpSocket_;
    mutable std::mutex settingsMutex_;
    std::optional<std::string> remoteHost_;
    const std::optional<std::uint16_t> localPort_;
    std::optional<std::uint16_t> remotePort_;
    const bool isIPv4BroadcastEnabled_;
};
