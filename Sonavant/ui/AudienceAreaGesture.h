#pragma once
// Presses, moves and releases on the canvas turned into the audience-area editor's
// operations. While the show is in edit mode the canvas offers every press here first: a
// press on a node handle of the edited area drags that node, one on the edited area drags
// the whole area (a press without movement counts as a drag), and a press and release in
// place on another area selects it.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/AudienceAreaHit.h"

class AudienceAreaGesture {
public:
    // A release within this distance of its press is a tap.
    static constexpr double tapSlop = 5; // canvas points

    explicit AudienceAreaGesture(ContentView& view) : view_(view) {}

    // True when the press lands on an area while editing: the gesture then owns the press
    // until release.
    bool press(Point canvasPoint);
    void move(Point canvasPoint);
    void release(Point canvasPoint);
    // The canvas lost the pointer (hidden, grab taken): an open drag ends where it is.
    void cancel();
    bool isActive() const { return kind_ != Kind::none; }

    // What the areas look like on the canvas now, back to front.
    std::vector<AudienceAreaFigure> figures() const;

private:
    enum class Kind { none, node, area, tap, missedTap };
    ContentView& view_;
    Kind kind_ = Kind::none;
    platform::UUID id_;
    std::size_t node_ = 0;
    Point start_;
};
