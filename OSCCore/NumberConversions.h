#pragma once
// Exact conversions between numbers: a result only when the value fits unchanged.

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

namespace osccore {

// Integer to integer of any width and signedness.
template <std::integral To, std::integral From> constexpr std::optional<To> integerExactly(From value) {
    if (!std::in_range<To>(value))
        return std::nullopt;
    return static_cast<To>(value);
}

// Integer to integer, clamped to the target's range.
template <std::integral To, std::integral From> constexpr To integerClamped(From value) {
    if (std::cmp_less(value, std::numeric_limits<To>::min()))
        return std::numeric_limits<To>::min();
    if (std::cmp_greater(value, std::numeric_limits<To>::max()))
        return std::numeric_limits<To>::max();
    return static_cast<To>(value);
}

// Integer to float, only when it converts back to the same integer (2^53 + 1 has no double).
template <std::floating_point F, std::integral I> std::optional<F> floatExactly(I value) {
    const F f = static_cast<F>(value);
    // Outside the integer's range the cast back would be undefined.
    const F limit = std::ldexp(F(1), std::numeric_limits<I>::digits);
    if (f >= limit || f < (std::is_signed_v<I> ? -limit : F(0)))
        return std::nullopt;
    if (static_cast<I>(f) != value)
        return std::nullopt;
    return f;
}

// The value rounded toward zero, and the rest: -2.75 gives -2 and -0.75.
template <std::floating_point F> std::pair<F, F> integralAndFraction(F value) {
    const F whole = std::trunc(value);
    return {whole, value - whole};
}

} // namespace osccore
