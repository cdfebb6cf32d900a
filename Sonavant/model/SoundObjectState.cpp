#include "Sonavant/model/SoundObjectState.h"

#include "Sonavant/model/SoundObject.h"

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::Value;

SoundObjectState SoundObjectState::of(const SoundObject& object) {
    return {object.id, object.positionMeters};
}

Value SoundObjectState::encode() const {
    KeyedEncoder e;
    e.encode("soundObjectID", soundObjectID);
    e.encode("position", position);
    return std::move(e).finish();
}

SoundObjectState SoundObjectState::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    return {d.decode<platform::UUID>("soundObjectID"), d.decode<Point>("position")};
}
