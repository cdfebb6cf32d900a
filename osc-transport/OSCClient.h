#pragma once
// Sends OSC packets as UDP datagrams to any host and port. A send encodes the packet and
// queues it on the socket; resolution, the sending itself and its 1 s timeout happen later
// on the socket's queue, and nobody hears how they went. An unstarted client binds
// implicitly (to a port the system chooses) on its first send.

#include "OSCCore/OSCBundle.h"
#include "OSCCore/OSCMessage.h"
#include "OSCCore/OSCObject.h"
#include "osc-transport/OSCClientUDPDelegate.h"
#include "sockets/UdpSocketEngine.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class OSCClient {
public:
    OSCClient();
    OSCClient(std::optional<std::uint16_t> localPort, bool isPortReuseEnabled, bool isIPv4BroadcastEnabled);
    ~OSCClient();
    OSCClient(const OSCClient&) = delete;
    OSCClient& operator=(const OSCClient&) = delete;

    // The socket's port; 0 before it is bound.
    std::uint16_t localPort() const;
    bool isPortReuseEnabled() const { return isPortReuseEnabled_; }
    // Takes effect at the next start().
    void setPortReuseEnabled(bool enabled) { isPortReuseEnabled_ = enabled; }
    bool isIPv4BroadcastEnabled() const { return isIPv4BroadcastEnabled_; }
    // Applied to the socket at once; a failure is ignored.
    void setIPv4BroadcastEnabled(bool enabled);
    bool isStarted() const { return isStarted_; }

    // Binds with the options; throws UdpSocketEngineError. Nothing when started.
    void start();
    void stop();

    // Throws OSCEncodeError when the packet cannot be encoded; nothing is sent then.
    void send(const OSCMessage& message, const std::string& host, std::uint16_t port);
    void send(const OSCBundle& bundle, const std::string& host, std::uint16_t port);
    void send(const OSCObject& packet, const std::string& host, std::uint16_t port);

private:
    void sendData(Data data, const std::string& host, std::uint16_t port);

    std::shared_ptr<UdpSocketEngine> udpSocket_;
    std::shared_ptr<OSCClientUDPDelegate> udpDelegate_;
    std::optional<std::uint16_t> localPort_;
    std::atomic<bool> isPortReuseEnabled_{false};
    std::atomic<bool> isIPv4BroadcastEnabled_{false};
    std::atomic<bool> isStarted_{false};
};
