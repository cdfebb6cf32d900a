#pragma once
// The metre grid and the zero-point ring, drawn while the show's grid switch is on.

#include "Sonavant/canvas/CanvasLayer.h"

class MetreGridLayer : public CanvasLayer {
public:
    CanvasLayerSlot slot() const override { return CanvasLayerSlot::grid; }
    bool isShown(const ContentView& view) const override;
    void paint(QPainter& painter, const ContentView& view, const QSizeF& canvasSize) override;
};
