#pragma once
// The canvas selection keys every part of the system exchanges a selection in:
// "soundObject-" + source UUID, "speaker-" + loudspeaker id, "pathNode:" + cue UUID + ":" +
// node index. Readers classify by prefix ("soundObject-" first) and take the identifier by
// removing every occurrence of the prefix; a key that does not parse is skipped.

#include "platform/UUID.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::string_view soundObjectKeyPrefix = "soundObject-";
inline constexpr std::string_view speakerKeyPrefix = "speaker-";
inline constexpr std::string_view pathNodeKeyPrefix = "pathNode:";

std::string soundObjectKey(const platform::UUID& id);
std::string speakerKey(std::int64_t id);
std::string pathNodeKey(const platform::UUID& cue, std::size_t index);

// The source id of a "soundObject-" key; none for any other key or one that does not parse.
std::optional<platform::UUID> soundObjectIDFromKey(std::string_view key);
// The loudspeaker id of a "speaker-" key (never of a "soundObject-" one); none when the rest
// is not a whole decimal number.
std::optional<std::int64_t> speakerIDFromKey(std::string_view key);
