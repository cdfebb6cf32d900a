#include "Sonavant/cues/PathCue.h"

#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/model/RawValueCoding.h"

using platform::CodingError;
using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::UUID;
using platform::Value;
using platform::ValueArray;

std::string_view rawValue(TriggerNextOption option) {
    switch (option) {
    case TriggerNextOption::none:
        return "none";
    case TriggerNextOption::simultaneous:
        return "simultaneous";
    case TriggerNextOption::sequential:
        return "sequential";
    }
    return "none";
}

std::optional<TriggerNextOption> triggerNextOptionFromRawValue(std::string_view raw) {
    return enumFromRawValue(allTriggerNextOptions, raw);
}

Value platform::Coder<TriggerNextOption>::encode(TriggerNextOption v) {
    return Value(std::string(rawValue(v)));
}

TriggerNextOption platform::Coder<TriggerNextOption>::decode(const Value& v, const std::string& path) {
    return decodeRawValue(allTriggerNextOptions, v, path, "TriggerNextOption");
}

namespace {

// A dictionary with UUID keys codes, like any dictionary whose keys are not texts, as one
// flat list alternating key and value.
Value encodeOffsets(const std::map<UUID, Point>& offsets) {
    ValueArray out;
    out.reserve(offsets.size() * 2);
    for (const auto& [key, point] : offsets) {
        out.push_back(platform::encodeValue(key));
        out.push_back(point.encode());
    }
    return Value(std::move(out));
}

std::map<UUID, Point> decodeOffsets(const Value& value, const std::string& path) {
    auto list = value.asArray();
    if (!list)
        platform::throwTypeMismatch(path, "Array", value);
    if (list->size() % 2 != 0)
        throw CodingError(CodingError::Reason::dataCorrupted, path,
                          "Expected a list of key and value pairs but found an odd number of elements.");
    std::map<UUID, Point> out;
    for (std::size_t i = 0; i < list->size(); i += 2) {
        auto key = platform::decodeValue<UUID>((*list)[i], platform::indexPath(path, i));
        out[key] = Point::decode((*list)[i + 1], platform::indexPath(path, i + 1));
    }
    return out;
}

// Paths run to thousands of nodes: the plain case is read without building a key path for
// every node; anything else takes the general route for its error.
std::vector<Point> decodeNodes(const KeyedDecoder& d, const std::string& key) {
    const Value* nodes = d.member(key);
    const ValueArray* list = nodes ? nodes->asArray() : nullptr;
    if (!list)
        return d.decode<std::vector<Point>>(key);
    std::vector<Point> out;
    out.reserve(list->size());
    for (std::size_t i = 0; i < list->size(); ++i) {
        const ValueArray* pair = (*list)[i].asArray();
        double sx, sy;
        const double* x = pair && pair->size() == 2 ? (*pair)[0].asNumber(sx) : nullptr;
        const double* y = x ? (*pair)[1].asNumber(sy) : nullptr;
        if (y)
            out.push_back({*x, *y});
        else
            out.push_back(
                Point::decode((*list)[i], platform::indexPath(platform::joinPath(d.path(), key), i)));
    }
    return out;
}

Value encodeNodes(const std::vector<Point>& nodes) {
    ValueArray out;
    out.reserve(nodes.size());
    for (const auto& node : nodes)
        out.push_back(node.encode());
    return Value(std::move(out));
}

} // namespace

PathCue::PathCue(UUID id_, std::string name_, double time_, std::vector<UUID> soundObjectIDs_,
                 std::vector<Point> nodesMeters_, double number_, std::optional<UUID> primarySoundObjectID_,
                 std::optional<std::map<UUID, Point>> objectOffsets_, bool loop_,
                 std::optional<std::int64_t> loopCount_, TriggerNextOption triggerNext_, bool relative_,
                 bool triggerOnMTC_, std::string mtcTriggerTime_, double baseZoomLevel_)
    : id(id_), name(std::move(name_)), time(time_), soundObjectIDs(std::move(soundObjectIDs_)),
      nodesMeters(std::move(nodesMeters_)), number(number_), baseZoomLevel(baseZoomLevel_), hasError(false),
      primarySoundObjectID(primarySoundObjectID_), objectOffsets(std::move(objectOffsets_)), loop(loop_),
      loopCount(loopCount_), triggerNext(triggerNext_), relative(relative_), triggerOnMTC(triggerOnMTC_),
      mtcTriggerTime(std::move(mtcTriggerTime_)) {}

std::vector<Point> PathCue::canvasNodes(CanvasOrientation orientation, Point zeroPoint, double zoom) const {
    std::vector<Point> out;
    out.reserve(nodesMeters.size());
    for (const auto& node : nodesMeters)
        out.push_back(metresToCanvas(orientation, node, zoom, zeroPoint));
    return out;
}

Value PathCue::encode() const {
    KeyedEncoder e;
    e.encode("id", id);
    e.encode("name", name);
    e.encode("time", time);
    e.encode("soundObjectIDs", soundObjectIDs);
    e.set("nodesMeters", encodeNodes(nodesMeters));
    e.encode("number", number);
    e.encode("hasError", hasError);
    e.encodeIfPresent("primarySoundObjectID", primarySoundObjectID);
    if (objectOffsets)
        e.set("objectOffsets", encodeOffsets(*objectOffsets));
    e.encode("loop", loop);
    e.encodeIfPresent("loopCount", loopCount);
    e.encode("triggerNext", triggerNext);
    e.encode("relative", relative);
    e.encode("triggerOnMTC", triggerOnMTC);
    e.encode("mtcTriggerTime", mtcTriggerTime);
    e.encode("baseZoomLevel", baseZoomLevel);
    return std::move(e).finish();
}

PathCue PathCue::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    auto id = d.decode<UUID>("id");
    auto name = d.decode<std::string>("name");
    auto time = d.decode<double>("time");
    auto soundObjectIDs = d.decode<std::vector<UUID>>("soundObjectIDs");
    auto nodesMeters = decodeNodes(d, "nodesMeters");
    auto number = d.decode<double>("number");
    auto hasError = d.decode<bool>("hasError");
    auto primary = d.decodeIfPresent<UUID>("primarySoundObjectID");
    std::optional<std::map<UUID, Point>> offsets;
    if (d.hasValue("objectOffsets"))
        offsets = decodeOffsets(*d.member("objectOffsets"), platform::joinPath(path, "objectOffsets"));
    auto loop = d.decode<bool>("loop");
    auto loopCount = d.decodeIfPresent<std::int64_t>("loopCount");
    auto triggerNext = d.decode<TriggerNextOption>("triggerNext");
    auto relative = d.decode<bool>("relative");
    auto triggerOnMTC = d.decodeOr<bool>("triggerOnMTC", false);
    auto mtcTriggerTime = d.decodeOr<std::string>("mtcTriggerTime", defaultMTCTriggerTime);
    auto baseZoomLevel = d.decodeOr<double>("baseZoomLevel", defaultBaseZoomLevel);

    PathCue cue(id, std::move(name), time, std::move(soundObjectIDs), std::move(nodesMeters), number, primary,
                std::move(offsets), loop, loopCount, triggerNext, relative, triggerOnMTC,
                std::move(mtcTriggerTime), baseZoomLevel);
    cue.hasError = hasError;
    return cue;
}

std::shared_ptr<PathCue> PathCue::decodeShared(const Value& value, const std::string& path) {
    return std::make_shared<PathCue>(decode(value, path));
}
