#include "Sonavant/model/Snapshot.h"

#include "Sonavant/model/SoundObject.h"
#include "Sonavant/model/Speaker.h"

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::Value;

void Snapshot::fill(const std::vector<Speaker>& speakers,
                    const std::vector<std::shared_ptr<SoundObject>>& soundObjects) {
    speakerStates.clear();
    for (const auto& speaker : speakers)
        speakerStates.push_back(SpeakerState::of(speaker));
    soundObjectStates.clear();
    for (const auto& object : soundObjects)
        if (object)
            soundObjectStates.push_back(SoundObjectState::of(*object));
}

Value Snapshot::encode() const {
    KeyedEncoder e;
    e.encode("id", id);
    e.encode("number", number);
    e.encode("name", name);
    e.encode("recallTime", recallTime);
    e.encode("speakerStates", speakerStates);
    e.encode("soundObjectStates", soundObjectStates);
    return std::move(e).finish();
}

Snapshot Snapshot::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    return {d.decode<platform::UUID>("id"),
            d.decode<std::int64_t>("number"),
            d.decode<std::string>("name"),
            d.decode<double>("recallTime"),
            d.decode<std::vector<SpeakerState>>("speakerStates"),
            d.decode<std::vector<SoundObjectState>>("soundObjectStates")};
}
