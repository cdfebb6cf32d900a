#pragma once
// Where every loudspeaker and source stood at one moment (and how each loudspeaker was aimed
// and how wide), recalled later with a fade of `recallTime` seconds. Positions in metres.

#include "Sonavant/model/SoundObjectState.h"
#include "Sonavant/model/SpeakerState.h"
#include "platform/Coding.h"
#include "platform/UUID.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Speaker;
class SoundObject;

struct Snapshot {
    platform::UUID id = platform::UUID::random();
    std::int64_t number = 0;
    std::string name;
    double recallTime = 0; // seconds
    std::vector<SpeakerState> speakerStates;
    std::vector<SoundObjectState> soundObjectStates;

    // Replaces the states by one per loudspeaker and one per source, in list order.
    void fill(const std::vector<Speaker>& speakers,
              const std::vector<std::shared_ptr<SoundObject>>& soundObjects);

    platform::Value encode() const;
    static Snapshot decode(const platform::Value& value, const std::string& path);
};
