#pragma once
// One loudspeaker (an "output" to the operator), a value record edited in place in the show
// state's list.

#include "Sonavant/model/Geometry.h"
#include "Sonavant/model/MixingDesk.h"
#include "platform/Coding.h"

#include <cstdint>
#include <string>
#include <vector>

struct Speaker {
    std::int64_t id = 0;  // selection key "speaker-" + id
    Point position;       // canvas points
    Point positionMeters; // metres, y up, relative to the zero point
    std::int64_t displayNumber = 0;
    std::string type;               // a desk kind name
    std::string displayColour;      // a colour name
    std::int64_t channelNumber = 0; // fills "{m}" in desk templates
    std::string displayName;
    bool isMuted = false;
    double levelOffset = 0;
    double focus = 0;
    double width = 0;

    Speaker() = default;
    // A new loudspeaker at (x, y) metres, named and coloured from the desk.
    Speaker(std::int64_t id, double x, double y, double width, double zoom, Point zeroPoint,
            std::int64_t number, std::string type, const MixingDesk& desk);

    // Sets displayColour from the desk's kind names and colours.
    void refreshColour(const MixingDesk& desk);
    // Regenerates displayName from kind and channel, unless the operator named the loudspeaker.
    void refreshName(const MixingDesk& desk);

    static const std::vector<std::string>& codingKeys();
    platform::Value encode() const;
    static Speaker decode(const platform::Value& value, const std::string& path);
};
