#pragma once
// A number of any OSC-capable width, remembered as an integer or a floating-point value.

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

class OSCNumberValueBase {
public:
    enum class Case { integer, floatingPoint };

    template <std::integral T>
    requires(!std::same_as<T, bool>) explicit OSCNumberValueBase(T value) {
        if constexpr (std::is_signed_v<T>)
            value_ = static_cast<std::int64_t>(value);
        else
            value_ = static_cast<std::uint64_t>(value);
    }
    explicit OSCNumberValueBase(float value) : value_(value) {}
    explicit OSCNumberValueBase(double value) : value_(value) {}

    Case kind() const { return value_.index() < 2 ? Case::integer : Case::floatingPoint; }

    // Exact for floats and for integers up to 2^53; larger integers round to nearest.
    double doubleValue() const;
    // A float truncated toward zero; nothing when it is not finite or does not fit.
    std::optional<std::int64_t> intValue() const;
    // The number's own text: 3, 0.5, 2.0.
    std::string description() const;

    // Integers compare by value whatever their signedness, floats by value; an integer
    // never equals a float.
    bool operator==(const OSCNumberValueBase& other) const;
    std::size_t hashValue() const;

private:
    std::variant<std::int64_t, std::uint64_t, float, double> value_;
};
