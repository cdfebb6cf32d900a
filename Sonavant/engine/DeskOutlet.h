#pragma once
// Where finished desk messages leave the level engine: an OSC message over UDP, or a text
// line over the shared TCP connection. The network outlet is the application's; tests and
// benchmarks put a recording or silent one in its place. Called from any thread.

#include "Sonavant/OSC/OSCSendArgument.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class DeskOutlet {
public:
    virtual ~DeskOutlet() = default;

    // As sendOSCMessage: refused when not enabled or when the host is no IPv4 address.
    virtual void sendUDP(bool enabled, const std::string& address, const std::string& host,
                         std::uint16_t port, const OSCSendArgument& argument) = 0;
    // As sendDeskMessage over TCP; the text carries its own line feed.
    virtual void sendTCP(const std::string& text, const std::string& address, const std::string& host,
                         std::uint16_t port) = 0;
    // Runs `done` (on any thread) once every UDP message handed over before has left the
    // outlet's own queue.
    virtual void afterSends(std::function<void()> done) { done(); }

    // sendOSCMessage and sendDeskMessage themselves.
    static std::shared_ptr<DeskOutlet> network();
};
