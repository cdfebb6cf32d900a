#include "Sonavant/engine/DeskOutlet.h"

#include "Sonavant/OSC/OSCClientPool.h"
#include "Sonavant/OSC/PersistentTCPClient.h"

namespace {

class NetworkDeskOutlet final : public DeskOutlet {
public:
    void sendUDP(bool enabled, const std::string& address, const std::string& host, std::uint16_t port,
                 const OSCSendArgument& argument) override {
        sendOSCMessage(enabled, address, host, port, argument);
    }
    void sendTCP(const std::string& text, const std::string& address, const std::string& host,
                 std::uint16_t port) override {
        sendDeskMessage(false, text, address, host, port);
    }
    void afterSends(std::function<void()> done) override {
        oscSenderQueue()->async(std::move(done)); // one serial queue: behind every earlier send
    }
};

} // namespace

std::shared_ptr<DeskOutlet> DeskOutlet::network() {
    // Never destroyed, like the send queue behind it: delayed sends may outlive static teardown.
    static const auto* outlet = new std::shared_ptr<DeskOutlet>(std::make_shared<NetworkDeskOutlet>());
    return *outlet;
}
