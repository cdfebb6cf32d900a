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
};

} // namespace

std::shared_ptr<DeskOutlet> DeskOutlet::network() {
    static const auto outlet = std::make_shared<NetworkDeskOutlet>();
    return outlet;
}
