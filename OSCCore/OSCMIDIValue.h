#pragma once
// A MIDI message argument ("m"): four bytes in wire order.

#include <cstdint>
#include <string>

struct OSCMIDIValue {
    std::uint8_t portID = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;

    bool operator==(const OSCMIDIValue&) const = default;

    std::string description() const {
        return "MIDI(portID: " + hex(portID) + ", status: " + hex(status) + ", data1: " + hex(data1) +
               ", data2: " + hex(data2) + ")";
    }

private:
    static std::string hex(std::uint8_t b) {
        static constexpr char digits[] = "0123456789ABCDEF";
        return std::string("0x") + digits[b >> 4] + digits[b & 0xF];
    }
};
