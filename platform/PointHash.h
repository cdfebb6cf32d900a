#pragma once
// Hashing of canvas points (two doubles), so that a point can key a hashed set or map.
// Points that compare equal hash equal: negative zero hashes as positive zero.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace platform {

inline std::size_t hashPoint(double x, double y) noexcept {
    auto feed = [](std::uint64_t h, double v) {
        std::uint64_t bits = std::bit_cast<std::uint64_t>(v == 0.0 ? 0.0 : v);
        h ^= bits + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2);
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDULL;
        h ^= h >> 33;
        return h;
    };
    return static_cast<std::size_t>(feed(feed(0x84222325CBF29CE4ULL, x), y));
}

// For any point type with members x and y: std::unordered_set<CGPoint, platform::PointHash>.
struct PointHash {
    template <class P> std::size_t operator()(const P& p) const noexcept {
        return hashPoint(static_cast<double>(p.x), static_cast<double>(p.y));
    }
};

} // namespace platform
