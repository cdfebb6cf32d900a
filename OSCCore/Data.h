#pragma once
// The codec's byte buffer. It is the same type as platform::Bytes, so socket code can hand
// received datagrams over without conversion.

#include <cstdint>
#include <span>
#include <vector>

using Data = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
