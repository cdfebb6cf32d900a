#include "Sonavant/model/Speaker.h"

#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/model/GeneratedName.h"

#include <cmath>

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::Value;

Speaker::Speaker(std::int64_t id_, double x, double y, double width_, double zoom, Point zeroPoint,
                 std::int64_t number, std::string type_, const MixingDesk& desk)
    : id(id_),
      position(metresToCanvasUnturned(x, y, zoom, zeroPoint)), positionMeters{std::isfinite(x) ? x : 0,
                                                                              std::isfinite(y) ? y : 0},
      displayNumber(number), type(std::move(type_)), channelNumber(number),
      displayName("Speaker " + std::to_string(id_)), width(width_) {
    refreshColour(desk);
    refreshName(desk);
}

void Speaker::refreshColour(const MixingDesk& desk) {
    if (desk.mixName == type)
        displayColour = desk.mixColour.value_or("defaultColour");
    else if (desk.mtxName == type)
        displayColour = desk.mtxColour.value_or("defaultColour");
    else
        displayColour = "defaultColour";
}

void Speaker::refreshName(const MixingDesk& desk) {
    const bool deskKind = desk.mixName == type || desk.mtxName == type || desk.groupName == type;
    const std::string proposed =
        (deskKind ? type : std::string("Speaker")) + " " + std::to_string(channelNumber);
    if (isGeneratedName(displayName, {"Mix", "Matrix", "Group", "Speaker"}))
        displayName = proposed;
}

const std::vector<std::string>& Speaker::codingKeys() {
    static const std::vector<std::string> keys{"id",      "position",      "positionMeters", "displayNumber",
                                               "type",    "displayColour", "channelNumber",  "displayName",
                                               "isMuted", "levelOffset",   "focus",          "width"};
    return keys;
}

Value Speaker::encode() const {
    KeyedEncoder e;
    e.encode("id", id);
    e.encode("position", position);
    e.encode("positionMeters", positionMeters);
    e.encode("displayNumber", displayNumber);
    e.encode("type", type);
    e.encode("displayColour", displayColour);
    e.encode("channelNumber", channelNumber);
    e.encode("displayName", displayName);
    e.encode("isMuted", isMuted);
    e.encode("levelOffset", levelOffset);
    e.encode("focus", focus);
    e.encode("width", width);
    return std::move(e).finish();
}

Speaker Speaker::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    Speaker s;
    s.id = d.decode<std::int64_t>("id");
    s.position = d.decode<Point>("position");
    s.positionMeters = d.decode<Point>("positionMeters");
    s.displayNumber = d.decode<std::int64_t>("displayNumber");
    s.type = d.decode<std::string>("type");
    s.displayColour = d.decode<std::string>("displayColour");
    s.channelNumber = d.decode<std::int64_t>("channelNumber");
    s.displayName = d.decode<std::string>("displayName");
    s.isMuted = d.decode<bool>("isMuted");
    s.levelOffset = d.decode<double>("levelOffset");
    s.focus = d.decode<double>("focus");
    s.width = d.decode<double>("width");
    return s;
}
