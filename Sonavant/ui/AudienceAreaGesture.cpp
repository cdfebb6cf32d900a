#include "Sonavant/ui/AudienceAreaGesture.h"

#include <cmath>

std::vector<AudienceAreaFigure> AudienceAreaGesture::figures() const {
    const auto& state = *view_.appState;
    return audienceAreaFigures(state.audienceAreas, state.selectedAudienceAreaID, state.isEditingAudienceArea,
                               state.canvasOrientation, view_.zoomLevel, state.zeroPoint);
}

bool AudienceAreaGesture::press(Point p) {
    if (kind_ != Kind::none)
        cancel();
    const auto hit = AudienceAreaHit::at(figures(), p);
    if (hit.kind == AudienceAreaHit::Kind::none)
        return false;
    id_ = hit.id;
    node_ = hit.node;
    start_ = p;
    if (hit.kind == AudienceAreaHit::Kind::node) {
        kind_ = Kind::node;
        view_.audienceAreaNodeDragChanged(id_, node_, {0, 0});
    } else if (hit.selected) {
        kind_ = Kind::area;
        view_.audienceAreaDragChanged(id_, {0, 0});
    } else {
        kind_ = Kind::tap;
    }
    return true;
}

void AudienceAreaGesture::move(Point p) {
    const Point t{p.x - start_.x, p.y - start_.y};
    switch (kind_) {
    case Kind::node:
        view_.audienceAreaNodeDragChanged(id_, node_, t);
        break;
    case Kind::area:
        view_.audienceAreaDragChanged(id_, t);
        break;
    case Kind::tap:
        if (std::hypot(t.x, t.y) > tapSlop)
            kind_ = Kind::missedTap;
        break;
    case Kind::missedTap:
    case Kind::none:
        break;
    }
}

void AudienceAreaGesture::release(Point p) {
    move(p);
    const auto kind = kind_;
    kind_ = Kind::none;
    if (kind == Kind::node)
        view_.audienceAreaNodeDragEnded(id_, node_);
    else if (kind == Kind::area)
        view_.audienceAreaDragEnded(id_);
    else if (kind == Kind::tap)
        view_.selectAudienceArea(id_);
}

void AudienceAreaGesture::cancel() {
    const auto kind = kind_;
    kind_ = Kind::none;
    if (kind == Kind::node)
        view_.audienceAreaNodeDragEnded(id_, node_);
    else if (kind == Kind::area)
        view_.audienceAreaDragEnded(id_);
}
