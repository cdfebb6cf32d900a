#pragma once
// Numbers that ride on one of the four OSC number kinds. The fixed-width C++ integers
// (int8_t, int16_t, uint8_t, uint16_t travel as "i"; uint32_t, uint64_t as "h") need no
// wrapper; these stand for the widths C++ has no distinct type for.

#include <cstdint>

// A 64-bit signed integer that travels as "i" and must fit 32 bits.
struct OSCInt {
    std::int64_t value = 0;
    bool operator==(const OSCInt&) const = default;
};

// A 64-bit unsigned integer that travels as "h" and must be at most 2^63 - 1.
struct OSCUInt {
    std::uint64_t value = 0;
    bool operator==(const OSCUInt&) const = default;
};

// An IEEE 754 half-precision float, kept as its bits; travels as "f".
struct OSCFloat16 {
    std::uint16_t bits = 0;

    static OSCFloat16 fromFloat(float value); // nearest, too large gives infinity
    float toFloat() const;                    // exact
    bool operator==(const OSCFloat16& other) const { return toFloat() == other.toFloat(); }
};

// A graphics coordinate (64-bit); travels as "d".
struct OSCGraphicsFloat {
    double value = 0;
    bool operator==(const OSCGraphicsFloat&) const = default;
};
