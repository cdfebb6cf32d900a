#pragma once
// The operator's floor plan under everything else on the canvas, placed in metres from the
// zero point with the show's offset, scale and rotation. Its file is read through the image
// cache, so a repaint never waits on the disk; a file that is missing or no image draws
// nothing. Construct it after the canvas: it plugs itself in, and out when dropped while the
// canvas still lives (dropping it after is harmless too).

#include "Sonavant/canvas/CachedLayerImage.h"
#include "Sonavant/canvas/CanvasLayer.h"
#include "Sonavant/canvas/FloorPlanImageCache.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class CanvasWidget;

class FloorPlanLayer : public QObject, public CanvasLayer {
    Q_OBJECT
public:
    explicit FloorPlanLayer(CanvasWidget& canvas);
    ~FloorPlanLayer() override;

    CanvasLayerSlot slot() const override { return CanvasLayerSlot::floorPlan; }
    bool isShown(const ContentView& view) const override;
    void paint(QPainter& painter, const ContentView& view, const QSizeF& canvasSize) override;
    bool paintKey(const ContentView& view, CanvasPaintKey& key) const override;
    void clearCaches() override { drawn_.clear(); }

    FloorPlanImageCache& cache() { return cache_; }

private:
    struct Drawn;
    // What is drawn now, if anything: the picture and where.
    std::optional<Drawn> drawn(const ContentView& view) const;

    QPointer<CanvasWidget> canvas_; // null once the canvas is gone
    // Asking for the picture starts a read when none is under way; the picture itself does
    // not change by asking.
    mutable FloorPlanImageCache cache_;
    CachedLayerImage drawn_;
    struct Observers;
    std::unique_ptr<Observers> observers_;
};
