#pragma once
// One of the four path layers of the canvas, by its slot: the yellow preview line of the
// path being drawn (recordingPreview), the selected cues as dashed green lines with their
// node handles (pathCues), the red marker at the last drawing point (dragPointMarker) and
// the blue dots of the recorded points (recordedNodes). The cue layer hands the canvas the
// pointer layer of node drags and the drawing gesture.

#include "Sonavant/canvas/CanvasLayer.h"

class PathCuePointerLayer;

class PathCueCanvasLayer : public CanvasLayer {
public:
    PathCueCanvasLayer(CanvasLayerSlot slot, PathCuePointerLayer* pointer = nullptr);

    CanvasLayerSlot slot() const override { return slot_; }
    bool isShown(const ContentView& view) const override;
    void paint(QPainter& painter, const ContentView& view, const QSizeF& canvasSize) override;
    CanvasPointerLayer* pointerLayer() override;
    bool paintKey(const ContentView& view, CanvasPaintKey& key) const override;

private:
    void paintPreview(QPainter& painter, const ContentView& view);
    void paintCues(QPainter& painter, const ContentView& view);
    void paintMarker(QPainter& painter, const ContentView& view);
    void paintRecordedNodes(QPainter& painter, const ContentView& view);

    CanvasLayerSlot slot_;
    PathCuePointerLayer* pointer_;
};
