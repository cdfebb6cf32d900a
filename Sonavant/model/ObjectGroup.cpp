#include "Sonavant/model/ObjectGroup.h"

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::Value;

Value ObjectGroup::encode() const {
    KeyedEncoder e;
    e.encode("id", id);
    e.encode("name", name);
    e.encode("speakerIDs", speakerIDs);
    e.encode("soundObjectIDs", soundObjectIDs);
    return std::move(e).finish();
}

ObjectGroup ObjectGroup::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    return {d.decode<platform::UUID>("id"), d.decode<std::string>("name"),
            d.decode<std::vector<std::int64_t>>("speakerIDs"),
            d.decode<std::vector<platform::UUID>>("soundObjectIDs")};
}
