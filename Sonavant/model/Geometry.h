#pragma once
// A point of the show: canvas points or metres, whichever the field says. Inside the show
// records it codes as the unkeyed pair [x, y].

#include "platform/Coding.h"

#include <string>

struct Point {
    double x = 0;
    double y = 0;

    bool operator==(const Point&) const = default;

    platform::Value encode() const;
    static Point decode(const platform::Value& value, const std::string& path);
};
