#include "Sonavant/model/SoundscapeSpeaker.h"

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::Value;

Value SoundscapeSpeaker::encode() const {
    KeyedEncoder e;
    e.encode("id", id);
    e.encode("speakerNumber", speakerNumber);
    e.encode("x", x);
    e.encode("y", y);
    e.encode("rotation", rotation);
    return std::move(e).finish();
}

SoundscapeSpeaker SoundscapeSpeaker::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    return {d.decode<platform::UUID>("id"), d.decode<std::int64_t>("speakerNumber"), d.decode<float>("x"),
            d.decode<float>("y"), d.decode<float>("rotation")};
}
