#pragma once
// The canvas's layers, back to front. A later layer is drawn over an earlier one and is
// hit first. Layers that plug in later (backdrop and floor plan, audience areas, path cues
// and path drawing, grid) take the slot their number gives; a layer may lift itself above
// the items while it is being edited (the audience areas in edit mode) by reporting a
// higher z-index.

enum class CanvasLayerSlot : int {
    base = 0,       // black background: background click and rubber band
    backdrop = 1,   // ignores clicks
    floorPlan = 2,  // ignores clicks
    editBanner = 3, // "Audience Area Edit Mode" (drawn at z 1000)
    audienceAreas = 4,
    soundscapeSpeakers = 5, // DS100-reported loudspeakers
    recordingPreview = 6,
    pathCues = 7,
    dragPointMarker = 8,
    recordedNodes = 9,
    grid = 10,
    rubberBand = 11,
    rangeCircles = 12,
    offCanvasMarkers = 13,
    speakers = 14, // with their overlays
    soundObjects = 15,
    drawingHint = 16, // ignores clicks (drawn at z 100)
};

// The z-index the edit banner and the drawing hint are drawn at, above every slot.
inline constexpr double editBannerZIndex = 1000;
inline constexpr double drawingHintZIndex = 100;

inline constexpr double zIndexOf(CanvasLayerSlot slot) {
    return static_cast<double>(static_cast<int>(slot));
}
