#include "Sonavant/canvas/MetreGridLayer.h"

#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/MetreGrid.h"

#include <QPainter>

MetreGridLayer::MetreGridLayer(CanvasWidget& canvas) : canvas_(&canvas) {
    canvas.addLayer(this);
}

MetreGridLayer::~MetreGridLayer() {
    if (canvas_)
        canvas_->removeLayer(this);
}

bool MetreGridLayer::isShown(const ContentView& view) const {
    return view.appState->showGrid;
}

bool MetreGridLayer::paintKey(const ContentView& view, CanvasPaintKey& key) const {
    key << view.appState->zeroPoint->x << view.appState->zeroPoint->y << view.zoomLevel.get();
    return true;
}

void MetreGridLayer::paint(QPainter& painter, const ContentView& view, const QSizeF& size) {
    const Point zero = view.appState->zeroPoint;
    const double zoom = view.zoomLevel;
    cache_.paint(painter, size, {zero.x, zero.y, zoom}, [&](QPainter& layer) {
        const MetreGrid grid = metreGrid(size.width(), zero.x, zero.y, zoom, size.height());
        QColor red(255, 59, 48);
        red.setAlphaF(MetreGrid::opacity);
        // Every line runs along an axis: filled as a rectangle without antialiasing it stays
        // one crisp pixel column or row. Lines are filled opaque where they cross and the
        // opacity is the layer's, as one translucent grid.
        layer.setRenderHint(QPainter::Antialiasing, false);
        const QColor solid(red.red(), red.green(), red.blue());
        for (const auto& line : grid.lines) {
            const double half = line.width / 2;
            if (line.from.x == line.to.x)
                layer.fillRect(QRectF(line.from.x - half, line.from.y, line.width, line.to.y - line.from.y),
                               solid);
            else
                layer.fillRect(QRectF(line.from.x, line.from.y - half, line.to.x - line.from.x, line.width),
                               solid);
        }
        if (grid.hasRing) {
            layer.setRenderHint(QPainter::Antialiasing, true);
            layer.setPen(QPen(solid, MetreGrid::ringWidth));
            layer.setBrush(Qt::NoBrush);
            const double r = MetreGrid::ringDiameter / 2 - MetreGrid::ringWidth / 2;
            layer.drawEllipse(QPointF(grid.ringCentre.x, grid.ringCentre.y), r, r);
        }
        // The whole layer at the grid's opacity.
        layer.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        layer.fillRect(QRectF(QPointF(0, 0), size), red);
    });
}
