#pragma once
// One loudspeaker inside a snapshot.

#include "Sonavant/model/Geometry.h"
#include "platform/Coding.h"

#include <cstdint>
#include <string>

struct Speaker;

struct SpeakerState {
    std::int64_t speakerID = 0;
    Point position; // metres
    double focus = 0;
    double width = 0;

    static SpeakerState of(const Speaker& speaker);

    platform::Value encode() const;
    static SpeakerState decode(const platform::Value& value, const std::string& path);
};
