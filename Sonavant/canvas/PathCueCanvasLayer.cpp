#include "Sonavant/canvas/PathCueCanvasLayer.h"

#include "Sonavant/canvas/DashedPolyline.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/PathCuePointerLayer.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QPointF qt(Point p) {
    return {p.x, p.y};
}

QPen strokePen(const QColor& colour) {
    QPen pen(colour, 2.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10.0);
    return pen;
}

void dot(QPainter& painter, Point centre, double diameter, const QColor& fill) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(qt(centre), diameter / 2, diameter / 2);
}

const QColor green(52, 199, 89);
const QColor blue(10, 132, 255);
const QColor red(255, 69, 58);
const QColor yellow(255, 214, 10);

} // namespace

PathCueCanvasLayer::PathCueCanvasLayer(CanvasLayerSlot slot, PathCuePointerLayer* pointer)
    : slot_(slot), pointer_(pointer) {}

CanvasPointerLayer* PathCueCanvasLayer::pointerLayer() {
    return pointer_;
}

bool PathCueCanvasLayer::isShown(const ContentView& view) const {
    switch (slot_) {
    case CanvasLayerSlot::recordingPreview:
        return view.isRecordingPath.get();
    case CanvasLayerSlot::dragPointMarker:
        return view.isRecordingPath.get() && view.lastDragPosition->has_value();
    case CanvasLayerSlot::recordedNodes:
        return !view.pathManager->currentPathNodes->empty();
    default:
        return true;
    }
}

bool PathCueCanvasLayer::paintKey(const ContentView& view, CanvasPaintKey& key) const {
    auto points = [&key](const std::vector<Point>& list) {
        key << std::int64_t(list.size());
        for (const Point& p : list)
            key << p.x << p.y;
    };
    const auto& last = view.lastDragPosition.get();
    switch (slot_) {
    case CanvasLayerSlot::recordingPreview:
        points(view.pathManager->currentPathNodes.get());
        key << last.has_value();
        if (last)
            key << last->x << last->y;
        return true;
    case CanvasLayerSlot::pathCues: {
        const auto& selected = view.selectedObjects.get();
        for (const auto& cue : view.displayedCues()) {
            const auto nodes = view.displayedCueNodes(*cue);
            points(nodes);
            for (std::size_t i = 0; i < nodes.size(); ++i)
                key << bool(selected.count(pathNodeKey(cue->id, i)));
        }
        return true;
    }
    case CanvasLayerSlot::dragPointMarker:
        if (last)
            key << last->x << last->y;
        return true;
    case CanvasLayerSlot::recordedNodes:
        points(view.pathManager->currentPathNodes.get());
        return true;
    default:
        return true;
    }
}

void PathCueCanvasLayer::paint(QPainter& painter, const ContentView& view, const QSizeF&) {
    painter.setRenderHint(QPainter::Antialiasing);
    switch (slot_) {
    case CanvasLayerSlot::recordingPreview:
        return paintPreview(painter, view);
    case CanvasLayerSlot::pathCues:
        return paintCues(painter, view);
    case CanvasLayerSlot::dragPointMarker:
        return paintMarker(painter, view);
    case CanvasLayerSlot::recordedNodes:
        return paintRecordedNodes(painter, view);
    default:
        return;
    }
}

void PathCueCanvasLayer::paintPreview(QPainter& painter, const ContentView& view) {
    const auto& nodes = view.pathManager->currentPathNodes.get();
    if (nodes.empty())
        return;
    QPainterPath path(qt(nodes.front()));
    for (std::size_t i = 1; i < nodes.size(); ++i)
        path.lineTo(qt(nodes[i]));
    if (const auto& last = view.lastDragPosition.get())
        path.lineTo(qt(*last));
    painter.setPen(strokePen(yellow));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

void PathCueCanvasLayer::paintCues(QPainter& painter, const ContentView& view) {
    const auto& selected = view.selectedObjects.get();
    for (const auto& cue : view.displayedCues()) {
        const auto nodes = view.displayedCueNodes(*cue);
        if (nodes.size() > 1) {
            QColor colour = green;
            colour.setAlphaF(0.5);
            QPolygonF line;
            line.reserve(qsizetype(nodes.size()));
            for (const Point& p : nodes)
                line << qt(p);
            dashedpolyline::draw(painter, line, colour);
        }
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            QColor fill = green;
            if (selected.count(pathNodeKey(cue->id, i)))
                fill = blue;
            else
                fill.setAlphaF(0.5);
            dot(painter, nodes[i], 2 * PathCuePointerLayer::handleRadius, fill);
        }
    }
}

void PathCueCanvasLayer::paintMarker(QPainter& painter, const ContentView& view) {
    if (const auto& last = view.lastDragPosition.get()) {
        QColor fill = red;
        fill.setAlphaF(0.5);
        dot(painter, *last, 12, fill);
    }
}

void PathCueCanvasLayer::paintRecordedNodes(QPainter& painter, const ContentView& view) {
    for (const Point& node : view.pathManager->currentPathNodes.get())
        dot(painter, node, 10, blue);
}
