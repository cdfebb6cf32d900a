#pragma once
// Sizes and rectangles of the main view's canvas, in canvas points.

#include "Sonavant/model/Geometry.h"

struct ViewSize {
    double width = 0;
    double height = 0;
    bool operator==(const ViewSize&) const = default;
};

struct ViewRect {
    Point origin;
    ViewSize size;
    bool operator==(const ViewRect&) const = default;
};

// What the canvas reports when it is laid out: its size and its frame in the window.
struct CanvasGeometryProxy {
    ViewSize size;
    ViewRect frame;
    bool operator==(const CanvasGeometryProxy&) const = default;
};
