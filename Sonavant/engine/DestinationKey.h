#pragma once
// One destination of a level: a source on a loudspeaker. The engine keys its repeat
// bookkeeping by the pair itself; the text form (the source's id in upper-case UUID text, a
// hyphen and the loudspeaker id) is the key of the send throttle and of its console lines.

#include "platform/UUID.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

struct DestinationKey {
    platform::UUID source;
    std::int64_t speaker = 0;

    bool operator==(const DestinationKey& other) const {
        return speaker == other.speaker &&
               std::memcmp(source.bytes().data(), other.source.bytes().data(), 16) == 0;
    }
    std::string text() const;
};

template <> struct std::hash<DestinationKey> {
    std::size_t operator()(const DestinationKey& key) const noexcept {
        std::uint64_t halves[2];
        std::memcpy(halves, key.source.bytes().data(), sizeof halves);
        std::uint64_t h = halves[0] ^ (halves[1] * 0x9E3779B97F4A7C15ull);
        h ^= static_cast<std::uint64_t>(key.speaker) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        return static_cast<std::size_t>(h);
    }
};
