#include "Sonavant/ui/AudienceAreaHit.h"

#include <cmath>

AudienceAreaHit AudienceAreaHit::at(const std::vector<AudienceAreaFigure>& figures, Point p) {
    for (auto f = figures.rbegin(); f != figures.rend(); ++f) {
        if (!f->editing)
            return {};
        if (f->isEdited()) {
            const double half = AudienceAreaFigure::handleSize / 2;
            for (std::size_t i = f->points.size(); i-- > 0;) {
                const Point n = f->points[i];
                if (std::abs(p.x - n.x) <= half && std::abs(p.y - n.y) <= half)
                    return {Kind::node, f->id, i, true};
            }
        }
        // Handles sit inside their own area's view, so a lower area's handles never rise
        // above a higher area's outline; the edited area is the topmost anyway.
        if (polygonContains(f->points, p))
            return {Kind::area, f->id, 0, f->isEdited()};
    }
    return {};
}
