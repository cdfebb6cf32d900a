#pragma once
// One source inside a snapshot.

#include "Sonavant/model/Geometry.h"
#include "platform/Coding.h"
#include "platform/UUID.h"

#include <string>

class SoundObject;

struct SoundObjectState {
    platform::UUID soundObjectID;
    Point position; // metres

    static SoundObjectState of(const SoundObject& object);

    platform::Value encode() const;
    static SoundObjectState decode(const platform::Value& value, const std::string& path);
};
