#include "Sonavant/ui/AudienceAreaFigure.h"

#include "Sonavant/model/CanvasGeometry.h"

#include <algorithm>

std::vector<std::string> AudienceAreaFigure::colourChoices() {
    std::vector<std::string> names(colourNames.begin(), colourNames.end());
    std::sort(names.begin(), names.end());
    return names;
}

std::string AudienceAreaFigure::colourLabel(const std::string& name) {
    std::string label = name;
    if (!label.empty() && label[0] >= 'a' && label[0] <= 'z')
        label[0] = static_cast<char>(label[0] - 'a' + 'A');
    return label;
}

Point AudienceAreaFigure::panelAnchor() const {
    if (points.empty())
        return centre;
    return *std::min_element(points.begin(), points.end(), [](const Point& a, const Point& b) {
        return a.y != b.y ? a.y > b.y : a.x < b.x;
    });
}

Point AudienceAreaFigure::panelCentre() const {
    const Point a = panelAnchor();
    return {a.x + panelOffset.x, a.y + panelOffset.y};
}

std::vector<AudienceAreaFigure> audienceAreaFigures(const std::vector<AudienceArea>& areas,
                                                    const std::optional<platform::UUID>& selected,
                                                    bool editing, CanvasOrientation orientation, double zoom,
                                                    Point zeroPoint) {
    std::vector<AudienceAreaFigure> figures;
    figures.reserve(areas.size());
    for (std::size_t i = 0; i < areas.size(); ++i) {
        const auto& area = areas[i];
        AudienceAreaFigure f;
        f.id = area.id;
        f.index = i;
        f.name = area.name;
        f.colour = colorNamed(area.color);
        f.selected = selected && *selected == area.id;
        f.editing = editing;
        f.zIndex = editing ? (f.selected ? 101 : 100) : 0;
        Point sum;
        for (const auto& n : area.nodesMeters) {
            f.points.push_back(metresToCanvas(orientation, n, zoom, zeroPoint));
            sum.x += f.points.back().x;
            sum.y += f.points.back().y;
        }
        if (!f.points.empty())
            f.centre = {sum.x / static_cast<double>(f.points.size()),
                        sum.y / static_cast<double>(f.points.size())};
        figures.push_back(std::move(f));
    }
    std::stable_sort(
        figures.begin(), figures.end(),
        [](const AudienceAreaFigure& a, const AudienceAreaFigure& b) { return a.zIndex < b.zIndex; });
    return figures;
}

bool polygonContains(const std::vector<Point>& polygon, Point p) {
    if (polygon.size() < 3)
        return false;
    // Winding number: +1 for each edge crossing upward left of p, −1 downward.
    auto side = [](Point a, Point b, Point c) {
        return (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
    };
    int winding = 0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Point a = polygon[i];
        const Point b = polygon[(i + 1) % polygon.size()];
        if (a.y <= p.y) {
            if (b.y > p.y && side(a, b, p) > 0)
                ++winding;
        } else if (b.y <= p.y && side(a, b, p) < 0) {
            --winding;
        }
    }
    return winding != 0;
}
