#include "platform/UUID.h"

#include <cstring>
#include <random>
#include <sys/random.h>

namespace platform {

namespace {

void fillRandom(std::uint8_t* out, std::size_t size) {
    std::size_t filled = 0;
    while (filled < size) {
        ssize_t n = ::getrandom(out + filled, size - filled, 0);
        if (n <= 0)
            break;
        filled += static_cast<std::size_t>(n);
    }
    if (filled == size)
        return;
    // getrandom unavailable (very old kernel or seccomp): the library's own entropy source.
    thread_local std::random_device device;
    for (; filled < size; ++filled)
        out[filled] = static_cast<std::uint8_t>(device());
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

UUID UUID::random() {
    UUID u;
    fillRandom(u.bytes_.data(), u.bytes_.size());
    u.bytes_[6] = static_cast<std::uint8_t>((u.bytes_[6] & 0x0F) | 0x40); // version 4
    u.bytes_[8] = static_cast<std::uint8_t>((u.bytes_[8] & 0x3F) | 0x80); // RFC 4122 variant
    return u;
}

std::optional<UUID> UUID::parse(std::string_view text) {
    if (text.size() != 36)
        return std::nullopt;
    UUID u;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-')
                return std::nullopt;
            ++i;
            continue;
        }
        int high = hexValue(text[i]), low = hexValue(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        u.bytes_[byte++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
    }
    return u;
}

std::string UUID::string() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out += '-';
        out += digits[bytes_[i] >> 4];
        out += digits[bytes_[i] & 0x0F];
    }
    return out;
}

UUID Coder<UUID>::decode(const Value& v, const std::string& path) {
    auto text = v.asText();
    if (!text)
        throwTypeMismatch(path, "String", v);
    auto u = UUID::parse(*text);
    if (!u)
        throw CodingError(CodingError::Reason::dataCorrupted, path,
                          "Attempted to decode UUID from invalid UUID string.");
    return *u;
}

} // namespace platform

std::size_t std::hash<platform::UUID>::operator()(const platform::UUID& u) const noexcept {
    std::uint64_t a, b;
    std::memcpy(&a, u.bytes().data(), 8);
    std::memcpy(&b, u.bytes().data() + 8, 8);
    // The bytes are random already; mixing keeps hand-made identifiers apart too.
    std::uint64_t h = a * 0x9E3779B97F4A7C15ULL ^ (b + 0x7F4A7C159E3779B9ULL + (a << 6) + (a >> 2));
    h ^= h >> 31;
    return static_cast<std::size_t>(h);
}
