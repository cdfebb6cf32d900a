#include "Sonavant/model/AudienceArea.h"

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::Value;

Value AudienceArea::encode() const {
    KeyedEncoder e;
    e.encode("id", id);
    e.encode("name", name);
    e.encode("color", color);
    e.encode("nodesMeters", nodesMeters);
    return std::move(e).finish();
}

AudienceArea AudienceArea::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    return {d.decode<platform::UUID>("id"), d.decode<std::string>("name"), d.decode<std::string>("color"),
            d.decode<std::vector<Point>>("nodesMeters")};
}
