#include "Sonavant/ui/CanvasEasing.h"

#include <algorithm>
#include <cmath>

namespace canvaseasing {

double easeInOut(double t) {
    if (!(t > 0))
        return 0;
    if (t >= 1)
        return 1;
    // x(s) and y(s) of the curve with control points (0.42, 0) and (0.58, 1); find s for x = t
    // by bisection (x is monotonic), then y.
    auto bezier = [](double a, double b, double s) {
        const double u = 1 - s;
        return 3 * u * u * s * a + 3 * u * s * s * b + s * s * s;
    };
    double lo = 0, hi = 1;
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2;
        (bezier(0.42, 0.58, mid) < t ? lo : hi) = mid;
    }
    return bezier(0, 1, (lo + hi) / 2);
}

} // namespace canvaseasing

namespace {

Point along(Point from, Point to, double f) {
    return {from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f};
}

} // namespace

void ItemMoveEasing::beginFrame(double now) {
    std::erase_if(items_, [this](const auto& entry) { return entry.second.frame != frame_; });
    ++frame_;
    now_ = now;
    moving_ = false;
}

Point ItemMoveEasing::drawn(const std::string& key, Point position) {
    auto [it, added] = items_.try_emplace(key, Move{position, position, now_, frame_});
    Move& move = it->second;
    move.frame = frame_;
    if (added)
        return position;
    const double f = canvaseasing::easeInOut((now_ - move.start) / duration);
    const Point current = f >= 1 ? move.to : along(move.from, move.to, f);
    if (position.x != move.to.x || position.y != move.to.y) {
        move.from = current;
        move.to = position;
        move.start = now_;
        moving_ = true;
        return current;
    }
    if (f < 1)
        moving_ = true;
    return current;
}

double OpacityFade::opacity(bool shown, double now) {
    const double target = shown ? 1 : 0;
    if (!started_) {
        started_ = true;
        shown_ = shown;
        from_ = to_ = target;
        start_ = now;
        return target;
    }
    const double f = canvaseasing::easeInOut((now - start_) / duration);
    const double current = from_ + (to_ - from_) * f;
    if (shown != shown_) {
        shown_ = shown;
        from_ = current;
        to_ = target;
        start_ = now;
        return current;
    }
    return current;
}
