#pragma once
// Where the operator's floor plan lies on the canvas. It keeps its place and size in metres:
// zooming scales it about the zero point, and moving the zero point carries it along. Its
// offset runs along the canvas axes and is not turned by the canvas orientation.

#include "Sonavant/engine/ViewGeometry.h"
#include "Sonavant/model/Geometry.h"

#include <optional>
#include <string>

struct FloorPlanPlacement {
    Point centre;        // canvas points
    ViewSize size;       // canvas points; the image is stretched to it, which keeps its aspect
    double rotation = 0; // degrees, clockwise on screen, about the centre
    static constexpr double opacity = 0.9;
};

// The placement of an image of `naturalSize` points with the show's `scale` (a factor: 1.0
// draws the image at its own size at zoom 100), `offset` (tenths of a metre) and `rotation`
// (degrees). Nothing is drawn (no value) for an empty image, a scale or zoom that is not a
// positive finite number, or a size that overflows; a non-finite offset or rotation counts
// as 0.
std::optional<FloorPlanPlacement> floorPlanPlacement(ViewSize naturalSize, double scale, double zoom,
                                                     Point zeroPoint, Point offset, double rotation);

// The file the floor plan is read from: the path of the show's file URL (or absolute path)
// while the floor plan is switched on; no value when it is off, unset or not a file URL.
std::optional<std::string> floorPlanFile(bool showBackgroundImage, const std::optional<std::string>& url);
