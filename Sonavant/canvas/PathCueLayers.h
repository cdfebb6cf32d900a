#pragma once
// The path layers of one canvas and their pointer part, installed on the canvas for as long
// as they live, and the repaints that follow the path-cue engine (cue list, selection,
// playback, the path being drawn, the last drawing point).

#include "platform/Observable.h"

#include <memory>
#include <vector>

class CanvasWidget;
class PathCueCanvasLayer;
class PathCuePointerLayer;

class PathCueLayers {
public:
    explicit PathCueLayers(CanvasWidget& canvas);
    ~PathCueLayers();
    PathCueLayers(const PathCueLayers&) = delete;
    PathCueLayers& operator=(const PathCueLayers&) = delete;

    PathCuePointerLayer& pointer() { return *pointer_; }

private:
    CanvasWidget& canvas_;
    std::unique_ptr<PathCuePointerLayer> pointer_;
    std::vector<std::unique_ptr<PathCueCanvasLayer>> layers_;
    platform::SubscriptionBag observers_;
};
