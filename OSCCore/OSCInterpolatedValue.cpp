#include "OSCCore/OSCInterpolatedValue.h"

#include <bit>
#include <cstring>

OSCFloat16 OSCFloat16::fromFloat(float value) {
    const std::uint32_t f = std::bit_cast<std::uint32_t>(value);
    const std::uint16_t sign = static_cast<std::uint16_t>((f >> 16) & 0x8000u);
    const std::uint32_t exponent = (f >> 23) & 0xFFu;
    std::uint32_t mantissa = f & 0x7FFFFFu;
    if (exponent == 0xFF) // infinity or not-a-number (keeps a quiet payload bit)
        return {static_cast<std::uint16_t>(sign | 0x7C00u | (mantissa ? 0x200u | (mantissa >> 13) : 0))};
    const int e = static_cast<int>(exponent) - 127 + 15;
    if (e >= 31)
        return {static_cast<std::uint16_t>(sign | 0x7C00u)};
    if (e <= 0) {
        if (e < -10)
            return {sign};
        mantissa |= 0x800000u;
        const int shift = 14 - e;
        std::uint32_t half = mantissa >> shift;
        const std::uint32_t rest = mantissa & ((1u << shift) - 1);
        const std::uint32_t midpoint = 1u << (shift - 1);
        if (rest > midpoint || (rest == midpoint && (half & 1)))
            ++half;
        return {static_cast<std::uint16_t>(sign | half)};
    }
    std::uint32_t half = (static_cast<std::uint32_t>(e) << 10) | (mantissa >> 13);
    const std::uint32_t rest = mantissa & 0x1FFFu;
    if (rest > 0x1000u || (rest == 0x1000u && (half & 1)))
        ++half; // a carry into the exponent is still right, up to infinity
    return {static_cast<std::uint16_t>(sign | half)};
}

float OSCFloat16::toFloat() const {
    const std::uint32_t sign = static_cast<std::uint32_t>(bits & 0x8000u) << 16;
    const std::uint32_t exponent = (bits >> 10) & 0x1Fu;
    std::uint32_t mantissa = bits & 0x3FFu;
    std::uint32_t f;
    if (exponent == 0x1F) {
        f = sign | 0x7F800000u | (mantissa << 13);
    } else if (exponent != 0) {
        f = sign | ((exponent - 15 + 127) << 23) | (mantissa << 13);
    } else if (mantissa == 0) {
        f = sign;
    } else { // subnormal: normalise
        int e = -1;
        do {
            ++e;
            mantissa <<= 1;
        } while ((mantissa & 0x400u) == 0);
        f = sign | (static_cast<std::uint32_t>(127 - 15 - e) << 23) | ((mantissa & 0x3FFu) << 13);
    }
    return std::bit_cast<float>(f);
}
