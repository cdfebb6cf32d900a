#include "Sonavant/model/SoundObject.h"

#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/model/GeneratedName.h"

#include <cmath>

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::UUID;
using platform::Value;

SoundObject::SoundObject(std::string type_, std::int64_t number_, const MixingDesk& desk, double x, double y,
                         double zoom, Point zeroPoint)
    : id(UUID::random()), position(metresToCanvasUnturned(x, y, zoom, zeroPoint)),
      positionMeters(Point{std::isfinite(x) ? x : 0, std::isfinite(y) ? y : 0}), number(number_),
      type(std::move(type_)) {
    name = type.get() + " " + std::to_string(number.get());
    refreshColour(desk);
    refreshName(desk);
}

SoundObject::SoundObject(const KeyedDecoder& d)
    : id(d.decode<UUID>("id")), position(d.decode<Point>("position")),
      positionMeters(d.decode<Point>("positionMeters")), name(d.decode<std::string>("name")),
      colour(d.decode<std::string>("colour")), outlineColour(d.decode<std::string>("outlineColour")),
      number(d.decode<std::int64_t>("number")), type(d.decode<std::string>("type")) {}

SoundObject::SoundObject(const SoundObject& o, CopyTag)
    : id(o.id), position(o.position.get()), positionMeters(o.positionMeters.get()), name(o.name.get()),
      colour(o.colour.get()), outlineColour(o.outlineColour.get()), number(o.number.get()),
      type(o.type.get()) {}

std::shared_ptr<SoundObject> SoundObject::detachedCopy() const {
    return std::shared_ptr<SoundObject>(new SoundObject(*this, CopyTag{}));
}

void SoundObject::refreshColour(const MixingDesk& desk) {
    const std::string& type = this->type.get();
    if (type == desk.inputName) {
        colour = desk.inputColour;
        outlineColour = "";
    } else if (desk.cueName == type) {
        colour = desk.cueColour.value_or("defaultColour");
        outlineColour = "";
    } else if (desk.mixName == type) {
        colour = desk.inputColour;
        outlineColour = desk.mixColour.value_or("");
    } else {
        colour = "defaultColour";
        outlineColour = "";
    }
}

void SoundObject::refreshName(const MixingDesk& desk) {
    const std::string& type = this->type.get();
    const bool deskKind = type == desk.inputName || desk.cueName == type || desk.mixName == type;
    const std::string proposed =
        (deskKind ? type : std::string("Input")) + " " + std::to_string(number.get());
    if (isGeneratedName(name.get(), {"Input", "Mix", "Cue"}))
        name = proposed;
}

const std::vector<std::string>& SoundObject::codingKeys() {
    static const std::vector<std::string> keys{"id",     "position",      "positionMeters", "name",
                                               "colour", "outlineColour", "number",         "type"};
    return keys;
}

Value SoundObject::encode() const {
    KeyedEncoder e;
    e.encode("id", id);
    e.encode("position", position.get());
    e.encode("positionMeters", positionMeters.get());
    e.encode("name", name.get());
    e.encode("colour", colour.get());
    e.encode("outlineColour", outlineColour.get());
    e.encode("number", number.get());
    e.encode("type", type.get());
    return std::move(e).finish();
}

SoundObject SoundObject::decode(const Value& value, const std::string& path) {
    return SoundObject(KeyedDecoder(value, path));
}

std::shared_ptr<SoundObject> SoundObject::decodeShared(const Value& value, const std::string& path) {
    return std::shared_ptr<SoundObject>(new SoundObject(KeyedDecoder(value, path)));
}
