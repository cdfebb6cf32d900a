#pragma once
// The socket delegate of OSCServer and OSCSocket: hands each datagram, on the receive queue,
// to its owner (held weakly; a datagram for an owner that is gone is dropped), and tells the
// owner when the socket closes.

#include "sockets/UdpSocketEngineDelegate.h"

#include <memory>
#include <mutex>

class OSCUDPPacketHandler;

class OSCServerUDPDelegate : public UdpSocketEngineDelegate {
public:
    void setOscServer(std::weak_ptr<OSCUDPPacketHandler> server);
    std::shared_ptr<OSCUDPPacketHandler> oscServer() const;

    bool respondsTo(Callback callback) const override {
        return callback == Callback::didReceive || callback == Callback::didClose;
    }
    void udpSocketDidReceiveData(UdpSocketEngine& socket, const Bytes& data, const Bytes& fromAddress,
                                 const std::any& filterContext) override;
    void udpSocketDidCloseWithError(UdpSocketEngine& socket,
                                    const std::optional<SocketError>& error) override;

private:
    mutable std::mutex mutex_;
    std::weak_ptr<OSCUDPPacketHandler> oscServer_;
};
