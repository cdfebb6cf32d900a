#include "Sonavant/canvas/MetreGridLayer.h"

#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/MetreGrid.h"

#include <QPainter>

MetreGridLayer::MetreGridLayer(CanvasWidget& canvas) : canvas_(canvas) {
    canvas.addLayer(this);
}

MetreGridLayer::~MetreGridLayer() {
    canvas_.removeLayer(this);
}

bool MetreGridLayer::isShown(const ContentView& view) const {
    return view.appState->showGrid;
}

void MetreGridLayer::paint(QPainter& painter, const ContentView& view, const QSizeF& size) {
    const Point zero = view.appState->zeroPoint;
    const MetreGrid grid = metreGrid(size.width(), zero.x, zero.y, view.zoomLevel, size.height());
    QColor red(255, 59, 48);
    red.setAlphaF(MetreGrid::opacity);
    painter.setBrush(Qt::NoBrush);
    QPen pen(red, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    for (const auto& line : grid.lines) {
        pen.setWidthF(line.width);
        painter.setPen(pen);
        painter.drawLine(QPointF(line.from.x, line.from.y), QPointF(line.to.x, line.to.y));
    }
    if (grid.hasRing) {
        pen.setWidthF(MetreGrid::ringWidth);
        painter.setPen(pen);
        const double r = MetreGrid::ringDiameter / 2 - MetreGrid::ringWidth / 2;
        painter.drawEllipse(QPointF(grid.ringCentre.x, grid.ringCentre.y), r, r);
    }
}
