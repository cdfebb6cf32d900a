#pragma once
// A loudspeaker position as a DS100 or its project file reports it, kept apart from the
// operator's loudspeakers.

#include "platform/Coding.h"
#include "platform/UUID.h"

#include <cstdint>
#include <string>

struct SoundscapeSpeaker {
    platform::UUID id = platform::UUID::random();
    std::int64_t speakerNumber = 0;
    float x = 0;
    float y = 0;
    float rotation = 0;

    platform::Value encode() const;
    static SoundscapeSpeaker decode(const platform::Value& value, const std::string& path);
};
