#include "Sonavant/model/SpeakerState.h"

#include "Sonavant/model/Speaker.h"

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::Value;

SpeakerState SpeakerState::of(const Speaker& speaker) {
    return {speaker.id, speaker.positionMeters, speaker.focus, speaker.width};
}

Value SpeakerState::encode() const {
    KeyedEncoder e;
    e.encode("speakerID", speakerID);
    e.encode("position", position);
    e.encode("focus", focus);
    e.encode("width", width);
    return std::move(e).finish();
}

SpeakerState SpeakerState::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    return {d.decode<std::int64_t>("speakerID"), d.decode<Point>("position"), d.decode<double>("focus"),
            d.decode<double>("width")};
}
