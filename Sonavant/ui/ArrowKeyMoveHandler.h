#pragma once
// The arrow keys nudge every selected source and loudspeaker by 10 canvas points (0.1 m at
// the default zoom), up always meaning up on the screen; the metres follow, the levels are
// sent once, and a press that moves something records an undo state before and after it.
// Built anew for each key press, so it always works with the current zoom, zero point and
// orientation.

#include "Sonavant/model/AppState.h"
#include "platform/Observable.h"

#include <functional>
#include <memory>
#include <set>
#include <string>

class ContentView;

enum class MoveDirection { up, down, left, right };

class ArrowKeyMoveHandler {
public:
    static constexpr double step = 10.0; // canvas points per key press

    ArrowKeyMoveHandler(std::shared_ptr<AppState> appState,
                        platform::Published<std::set<std::string>>& selectedObjects, double zoomLevel,
                        Point zeroPoint, CanvasOrientation orientation,
                        std::function<void()> updateRelativeLevels,
                        std::function<void(const std::string& key)> positionSet = nullptr);

    void handleMove(MoveDirection direction);

private:
    std::shared_ptr<AppState> appState_;
    platform::Published<std::set<std::string>>& selectedObjects_;
    double zoomLevel_;
    Point zeroPoint_;
    CanvasOrientation orientation_;
    std::function<void()> updateRelativeLevels_;
    std::function<void(const std::string& key)> positionSet_; // each item the press moved
};

// The handler the main view puts on its content.
ArrowKeyMoveHandler arrowKeyMoveHandler(ContentView& view);
