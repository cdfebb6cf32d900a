#pragma once
// The metre grid and the zero-point ring, drawn while the show's grid switch is on. The
// canvas repaints on every change it reads (grid switch, zoom, zero point). Construct it
// after the canvas: it plugs itself in, and out when dropped while the canvas still lives
// (dropping it after is harmless too).

#include "Sonavant/canvas/CachedLayerImage.h"
#include "Sonavant/canvas/CanvasLayer.h"

#include <QPointer>

class CanvasWidget;

class MetreGridLayer : public CanvasLayer {
public:
    explicit MetreGridLayer(CanvasWidget& canvas);
    ~MetreGridLayer() override;
    MetreGridLayer(const MetreGridLayer&) = delete;
    MetreGridLayer& operator=(const MetreGridLayer&) = delete;

    CanvasLayerSlot slot() const override { return CanvasLayerSlot::grid; }
    bool isShown(const ContentView& view) const override;
    void paint(QPainter& painter, const ContentView& view, const QSizeF& canvasSize) override;
    bool paintKey(const ContentView& view, CanvasPaintKey& key) const override;
    void clearCaches() override { cache_.clear(); }

private:
    QPointer<CanvasWidget> canvas_; // null once the canvas is gone
    CachedLayerImage cache_;
};
