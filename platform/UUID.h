#pragma once
// Random (version 4) UUIDs, written in upper-case standard text and parsed in any case.

#include "platform/Coding.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class UUID {
public:
    UUID() = default; // all zero
    static UUID random();
    static std::optional<UUID> parse(std::string_view text);
    std::string string() const; // "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"
    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }
    auto operator<=>(const UUID&) const = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

template <> struct Coder<UUID> {
    static Value encode(const UUID& u) { return Value(u.string()); }
    static UUID decode(const Value& v, const std::string& path);
};

} // namespace platform

template <> struct std::hash<platform::UUID> {
    std::size_t operator()(const platform::UUID& u) const noexcept;
};
