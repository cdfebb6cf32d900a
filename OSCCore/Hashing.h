#pragma once
// Feeding several fields into one hash, in order.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace osccore {

inline void hashCombine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

template <class T> void hashFeed(std::size_t& seed, const T& value) {
    hashCombine(seed, std::hash<T>{}(value));
}

} // namespace osccore
