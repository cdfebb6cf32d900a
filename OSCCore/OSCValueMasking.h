#pragma once
// Typed extraction of a message's arguments in one call:
//     auto [x, y] = masked<AnyOSCNumberValue, AnyOSCNumberValue>(message.values());
// One to ten positions; trailing positions requested as std::optional<T> may be missing.
// The count is tested first (OSCValueMaskError invalidCount), then each position in order
// (mismatchedTypes at the first that does not fit). A type is delivered only as itself,
// except AnyOSCNumberValue (any integer or float) and OSCInt (any integer, by value).

#include "OSCCore/AnyOSCNumberValue.h"
#include "OSCCore/OSCNumberValue.h"
#include "OSCCore/OSCValue.h"
#include "OSCCore/OSCValueMaskError.h"
#include "OSCCore/OSCValueToken.h"

#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace osccore {

template <class T, class Variant> struct IsAlternative;
template <class T, class... A>
struct IsAlternative<T, std::variant<A...>> : std::bool_constant<(std::is_same_v<T, A> || ...)> {};

template <class T> struct IsNumberValue : std::false_type {};
template <class T> struct IsNumberValue<OSCNumberValue<T>> : std::true_type {};

template <class T> struct IsOptional : std::false_type {};
template <class T> struct IsOptional<std::optional<T>> : std::true_type {};

} // namespace osccore

template <class T>
concept OSCValueMaskable = osccore::IsAlternative<T, OSCValue::Storage>::value ||
    std::is_same_v<T, AnyOSCNumberValue> || osccore::IsNumberValue<T>::value;

void validateCount(std::span<const OSCValue> values, std::size_t count);
void validateCountRange(std::span<const OSCValue> values, std::size_t minimum, std::size_t maximum);

// An unsigned 64-bit value above the signed range does not fit.
namespace osccore {
inline OSCInt maskedElementUnsigned(std::uint64_t v) {
    if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        throw OSCValueMaskError::mismatchedTypes();
    return OSCInt{static_cast<std::int64_t>(v)};
}

} // namespace osccore

// The value at `index` as T.
template <OSCValueMaskable T> T maskedElement(std::span<const OSCValue> values, std::ptrdiff_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= values.size())
        throw OSCValueMaskError::invalidCount();
    const OSCValue& value = values[static_cast<std::size_t>(index)];
    if constexpr (std::is_same_v<T, AnyOSCNumberValue>) {
        const bool number = value.isInteger() || value.isFloatingPoint();
        if (!number)
            throw OSCValueMaskError::mismatchedTypes();
        return std::visit(
            []<class V>(const V& v) -> AnyOSCNumberValue {
                if constexpr (std::is_same_v<V, OSCFloat16>)
                    return AnyOSCNumberValue(OSCNumberValueBase(v.toFloat()));
                else if constexpr (std::is_same_v<V, OSCInt> || std::is_same_v<V, OSCUInt> ||
                                   std::is_same_v<V, OSCGraphicsFloat>)
                    return AnyOSCNumberValue(OSCNumberValueBase(v.value));
                else if constexpr (std::is_arithmetic_v<V> && !std::is_same_v<V, bool>)
                    return AnyOSCNumberValue(OSCNumberValueBase(v));
                else
                    throw OSCValueMaskError::mismatchedTypes();
            },
            value.storage());
    } else if constexpr (std::is_same_v<T, OSCInt>) {
        return std::visit(
            []<class V>(const V& v) -> OSCInt {
                if constexpr (std::is_same_v<V, OSCInt>)
                    return v;
                else if constexpr (std::is_same_v<V, OSCUInt>)
                    return osccore::maskedElementUnsigned(v.value);
                else if constexpr (std::is_integral_v<V> && !std::is_same_v<V, bool>) {
                    if constexpr (std::is_same_v<V, std::uint64_t>)
                        return osccore::maskedElementUnsigned(v);
                    else
                        return OSCInt{static_cast<std::int64_t>(v)};
                } else
                    throw OSCValueMaskError::mismatchedTypes();
            },
            value.storage());
    } else if constexpr (osccore::IsNumberValue<T>::value) {
        using Wrapped = decltype(std::declval<T>().value());
        if (auto v = value.as<Wrapped>())
            return T(*v);
        throw OSCValueMaskError::mismatchedTypes();
    } else {
        if (auto v = value.as<T>())
            return *v;
        throw OSCValueMaskError::mismatchedTypes();
    }
}

// Empty when the list does not reach `index`; a present value of another type still fails.
template <OSCValueMaskable T>
std::optional<T> maskedOptionalElement(std::span<const OSCValue> values, std::ptrdiff_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= values.size())
        return std::nullopt;
    return maskedElement<T>(values, index);
}

namespace osccore {

template <class R> auto maskOne(std::span<const OSCValue> values, std::size_t index) {
    if constexpr (IsOptional<R>::value)
        return maskedOptionalElement<typename R::value_type>(values, static_cast<std::ptrdiff_t>(index));
    else
        return maskedElement<R>(values, static_cast<std::ptrdiff_t>(index));
}

template <class... R> constexpr bool optionalsTrail() {
    constexpr bool flags[] = {IsOptional<R>::value...};
    bool seen = false;
    for (bool optional : flags) {
        if (seen && !optional)
            return false;
        seen = seen || optional;
    }
    return true;
}

template <class R> constexpr bool requestable() {
    if constexpr (IsOptional<R>::value)
        return OSCValueMaskable<typename R::value_type>;
    else
        return OSCValueMaskable<R>;
}

} // namespace osccore

template <class... R> auto masked(std::span<const OSCValue> values) {
    constexpr std::size_t n = sizeof...(R);
    static_assert(n >= 1 && n <= 10, "masked takes one to ten positions");
    static_assert((osccore::requestable<R>() && ...),
                  "each position must be a maskable type or its optional");
    static_assert(osccore::optionalsTrail<R...>(), "optional positions must come last");
    constexpr std::size_t optionals = (std::size_t{osccore::IsOptional<R>::value} + ...);
    validateCountRange(values, n - optionals, n);
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        if constexpr (n == 1)
            return (osccore::maskOne<R>(values, I), ...);
        else
            // Braced initialisation runs left to right, so the first failing position wins.
            return std::tuple<R...>{osccore::maskOne<R>(values, I)...};
    }
    (std::index_sequence_for<R...>{});
}

// Whether the values satisfy the tokens position by position; optional tokens may run past
// the end of the values, and interpolated values satisfy only `number`.
bool matches(std::span<const OSCValue> values, const std::vector<OSCValueToken>& tokens);
