#pragma once
// How the canvas draws changes over time. Only the drawing eases: the show's positions, the
// levels and the sends follow a change at once, and hit tests use the show's positions.
// Times are seconds on whatever clock the canvas is given.

#include "Sonavant/model/Geometry.h"

#include <map>
#include <string>

namespace canvaseasing {

// The standard ease-in-out curve (cubic Bézier through (0.42, 0) and (0.58, 1)): progress at
// fraction t of the time, both clamped to [0, 1].
double easeInOut(double t);

} // namespace canvaseasing

// Where each item is drawn: a move of an item starts from where it is drawn at that moment
// and eases to its new position over `duration`. An item seen for the first time is drawn
// where it is.
class ItemMoveEasing {
public:
    static constexpr double duration = 0.05;

    // Call once per paint before `drawn`; items not asked for during the paint are forgotten
    // at the next `beginFrame`.
    void beginFrame(double now);
    Point drawn(const std::string& key, Point position);
    // A move is still under way: the canvas paints again until none is.
    bool isMoving() const { return moving_; }
    // Every item jumps to its position on the next paint.
    void clear() { items_.clear(); }

private:
    struct Move {
        Point from, to;
        double start = 0;
        unsigned frame = 0;
    };
    std::map<std::string, Move> items_;
    double now_ = 0;
    unsigned frame_ = 0;
    bool moving_ = false;
};

// The opacity of something that enters and leaves with a fade.
class OpacityFade {
public:
    static constexpr double duration = 0.35;

    // The opacity at `now` when the thing should be `shown`; a change of `shown` starts a fade
    // from the opacity drawn then. The first call settles without a fade.
    double opacity(bool shown, double now);
    bool isFading(double now) const { return started_ && now < start_ + duration && from_ != to_; }

private:
    bool started_ = false;
    bool shown_ = false;
    double from_ = 0, to_ = 0, start_ = 0;
};
