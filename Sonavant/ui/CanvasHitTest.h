#pragma once
// What a press on the canvas lands on, tested front to back: layers plugged in above the
// items, sources (later ones on top), loudspeakers with their focus handles, layers plugged
// in below, and finally the background. Decorations (cones, focus lines, arrow heads, range
// circles, edge markers, grid, rubber band, banner, hint) take no hits.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/CanvasPointerLayer.h"

#include <cstdint>
#include <memory>
#include <vector>

struct CanvasHitTarget {
    enum class Kind { background, soundObject, speaker, focusHandle, layer };
    Kind kind = Kind::background;
    std::shared_ptr<SoundObject> object; // soundObject
    std::int64_t speakerID = 0;          // speaker, focusHandle
    CanvasPointerLayer* layer = nullptr; // layer
};

struct CanvasHitTest {
    static constexpr double itemRadius = 15.0;                // the 30-point disc
    static constexpr double selectedSoundObjectRadius = 16.0; // its 32-point selection ring
    static constexpr double selectedSpeakerRadius = 15.5;     // its 31-point selection ring

    static CanvasHitTarget at(const ContentView& view, Point point,
                              const std::vector<CanvasPointerLayer*>& layers = {});
};
