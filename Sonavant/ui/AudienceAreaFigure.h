#pragma once
// What the canvas draws of each audience area: its outline in canvas points, its label and,
// for the area selected while editing, its node handles and the edit panel's place.

#include "Sonavant/model/AudienceArea.h"
#include "Sonavant/model/CanvasOrientation.h"
#include "Sonavant/model/Geometry.h"
#include "Sonavant/model/NamedColor.h"
#include "platform/UUID.h"

#include <optional>
#include <string>
#include <vector>

struct AudienceAreaFigure {
    static constexpr double fillOpacity = 0.3;
    static constexpr double handleSize = 16; // a node handle's circle and its hit square
    // The edit panel's centre lies this far right of and below its anchor node.
    static constexpr Point panelOffset{60, 30};

    platform::UUID id;
    std::size_t index = 0;     // in the show's list
    std::vector<Point> points; // the nodes on the canvas, in order
    Point centre;              // the mean of the points; the label sits on it
    std::string name;          // no label when empty
    NamedColor colour = NamedColor::gray;
    bool selected = false;
    bool editing = false;
    int zIndex = 0; // 101 selected while editing, 100 others while editing, 0 otherwise

    // The selected area while editing: the heavy outline, handles, panel and drags.
    bool isEdited() const { return selected && editing; }
    double outlineWidth() const { return isEdited() ? 2.0 : 1.0; }
    double outlineOpacity() const { return isEdited() ? 1.0 : 0.5; }
    // The colour menu's names in ascending order, and an item's text (first letter capital).
    static std::vector<std::string> colourChoices();
    static std::string colourLabel(const std::string& name);

    // The lowest node on screen (the leftmost among equally low ones), or the centre.
    Point panelAnchor() const;
    Point panelCentre() const;
};

// One figure per area in drawing order, back to front: by z-index, the show's order among
// equal ones, so while editing the selected area lies above the others.
std::vector<AudienceAreaFigure> audienceAreaFigures(const std::vector<AudienceArea>& areas,
                                                    const std::optional<platform::UUID>& selected,
                                                    bool editing, CanvasOrientation orientation, double zoom,
                                                    Point zeroPoint);

// Inside the closed polygon by the non-zero winding rule (as a filled path is hit).
bool polygonContains(const std::vector<Point>& polygon, Point p);
