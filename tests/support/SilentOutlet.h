#pragma once
// A desk outlet that drops every message: level passes run whole without a network.

#include "Sonavant/engine/DeskOutlet.h"

#include <cstdint>
#include <string>

namespace support {

class SilentOutlet : public DeskOutlet {
public:
    void sendUDP(bool, const std::string&, const std::string&, std::uint16_t,
                 const OSCSendArgument&) override {}
    void sendTCP(const std::string&, const std::string&, const std::string&, std::uint16_t) override {}
};

} // namespace support
