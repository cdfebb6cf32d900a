#pragma once
// A named set of loudspeakers and sources, by identity only.

#include "platform/Coding.h"
#include "platform/UUID.h"

#include <cstdint>
#include <string>
#include <vector>

struct ObjectGroup {
    platform::UUID id = platform::UUID::random();
    std::string name;
    std::vector<std::int64_t> speakerIDs;
    std::vector<platform::UUID> soundObjectIDs;

    platform::Value encode() const;
    static ObjectGroup decode(const platform::Value& value, const std::string& path);
};
