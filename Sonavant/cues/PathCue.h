#pragma once
// One recorded movement of sources: a polyline of nodes in metres, the time one pass takes,
// the sources it moves and how it plays back. A shared record: every holder sees the same
// cue. Coded inside every show document, undo entry and the saved working state.

#include "Sonavant/model/CanvasOrientation.h"
#include "Sonavant/model/Geometry.h"
#include "platform/Coding.h"
#include "platform/UUID.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a cue starts next: nothing, the next cue by number at once, or when a pass ends.
enum class TriggerNextOption { none, simultaneous, sequential };

inline constexpr std::array<TriggerNextOption, 3> allTriggerNextOptions{
    TriggerNextOption::none, TriggerNextOption::simultaneous, TriggerNextOption::sequential};

std::string_view rawValue(TriggerNextOption option);
// Exact, case-sensitive.
std::optional<TriggerNextOption> triggerNextOptionFromRawValue(std::string_view raw);

template <> struct platform::Coder<TriggerNextOption> {
    static Value encode(TriggerNextOption v);
    static TriggerNextOption decode(const Value& v, const std::string& path);
};

class PathCue {
public:
    static constexpr const char* defaultMTCTriggerTime = "00:00:00:00";
    static constexpr double defaultBaseZoomLevel = 100.0;

    PathCue(platform::UUID id, std::string name, double time, std::vector<platform::UUID> soundObjectIDs,
            std::vector<Point> nodesMeters, double number, std::optional<platform::UUID> primarySoundObjectID,
            std::optional<std::map<platform::UUID, Point>> objectOffsets, bool loop,
            std::optional<std::int64_t> loopCount, TriggerNextOption triggerNext, bool relative,
            bool triggerOnMTC = false, std::string mtcTriggerTime = defaultMTCTriggerTime,
            double baseZoomLevel = defaultBaseZoomLevel);

    platform::UUID id;
    std::string name;
    double time = 0; // seconds per pass
    std::vector<platform::UUID> soundObjectIDs;
    std::vector<Point> nodesMeters; // metres, y up, relative to the zero point
    double number = 0;              // cues chain in ascending number
    double baseZoomLevel = defaultBaseZoomLevel;
    bool hasError = false;
    std::optional<platform::UUID> primarySoundObjectID;
    // Absolute playback: each source's offset in metres from the primary source.
    std::optional<std::map<platform::UUID, Point>> objectOffsets;
    bool loop = false;
    std::optional<std::int64_t> loopCount; // absent or below 1: loops until stopped
    TriggerNextOption triggerNext = TriggerNextOption::none;
    bool relative = false;
    bool triggerOnMTC = false; // stored only; playback ignores it
    std::string mtcTriggerTime = defaultMTCTriggerTime;

    // The nodes projected onto the canvas, in node order.
    std::vector<Point> canvasNodes(CanvasOrientation orientation, Point zeroPoint, double zoom) const;

    platform::Value encode() const;
    static PathCue decode(const platform::Value& value, const std::string& path);
    static std::shared_ptr<PathCue> decodeShared(const platform::Value& value, const std::string& path);
};

template <> struct platform::Coder<std::shared_ptr<PathCue>> {
    static Value encode(const std::shared_ptr<PathCue>& cue) { return cue ? cue->encode() : Value(Null{}); }
    static std::shared_ptr<PathCue> decode(const Value& value, const std::string& path) {
        return PathCue::decodeShared(value, path);
    }
};
