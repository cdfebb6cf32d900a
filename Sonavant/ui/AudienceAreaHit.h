#pragma once
// What a press on the canvas meets of the audience areas while they are being edited.

#include "Sonavant/ui/AudienceAreaFigure.h"

#include <cstddef>
#include <vector>

struct AudienceAreaHit {
    enum class Kind { none, node, area };
    Kind kind = Kind::none;
    platform::UUID id;
    std::size_t node = 0;  // for a node
    bool selected = false; // the area is the one being edited

    // Front to back, as drawn: the edited area's node handles (whole 16-point squares, later
    // nodes first), then the outlines from the topmost area down. Outside edit mode: none.
    static AudienceAreaHit at(const std::vector<AudienceAreaFigure>& figures, Point p);
};
