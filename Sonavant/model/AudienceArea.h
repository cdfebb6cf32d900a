#pragma once
// A named, coloured polygon on the floor plan where the audience stands, corners in metres.

#include "Sonavant/model/Geometry.h"
#include "platform/Coding.h"
#include "platform/UUID.h"

#include <string>
#include <vector>

struct AudienceArea {
    platform::UUID id = platform::UUID::random();
    std::string name;
    std::string color; // a colour name
    std::vector<Point> nodesMeters;

    bool operator==(const AudienceArea&) const = default;

    platform::Value encode() const;
    static AudienceArea decode(const platform::Value& value, const std::string& path);
};
