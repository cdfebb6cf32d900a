#pragma once
// Every OSC message to a desk or a DS100 leaves through here: the output switch and the
// address are checked on the caller's thread, everything else runs on "oscSenderQueue",
// which sends from ten clients taken in turn.

#include "Sonavant/OSC/OSCSendArgument.h"
#include "osc-transport/OSCClient.h"
#include "platform/Dispatch.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class OSCClientPool {
public:
    static constexpr std::size_t clientCount = 10;

    static OSCClientPool& shared();
    // The next client in turn; only on oscSenderQueue.
    OSCClient& next();
    // Local ports of the ten clients (0 for one that has not sent yet); for checks.
    std::array<std::uint16_t, clientCount> localPorts();

private:
    OSCClientPool();
    std::array<std::unique_ptr<OSCClient>, clientCount> clients;
    std::size_t nextIndex = 0;
};

// The serial background queue "oscSenderQueue".
const platform::DispatchQueuePtr& oscSenderQueue();

void sendOSCMessage(bool enabled, const std::string& address, const std::string& host, std::uint16_t port,
                    const OSCSendArgument& argument = {});
// The queued half of sendOSCMessage; runs on oscSenderQueue only.
void sendOSCMessageNow(const OSCSendArgument& argument, const std::string& address, const std::string& host,
                       std::uint16_t port);

// A dotted IPv4 address: four decimal parts of 0 to 255, no leading zeros, nothing else.
bool isValidIPv4Address(std::string_view host);
