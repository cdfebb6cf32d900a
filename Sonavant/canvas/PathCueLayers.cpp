#include "Sonavant/canvas/PathCueLayers.h"

#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/canvas/PathCueCanvasLayer.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/PathCuePointerLayer.h"

#include <QPointer>

PathCueLayers::PathCueLayers(CanvasWidget& canvas)
    : canvas_(canvas), pointer_(std::make_unique<PathCuePointerLayer>()) {
    for (CanvasLayerSlot slot : {CanvasLayerSlot::recordingPreview, CanvasLayerSlot::pathCues,
                                 CanvasLayerSlot::dragPointMarker, CanvasLayerSlot::recordedNodes})
        layers_.push_back(std::make_unique<PathCueCanvasLayer>(
            slot, slot == CanvasLayerSlot::pathCues ? pointer_.get() : nullptr));
    for (const auto& layer : layers_)
        canvas_.addLayer(layer.get());

    // Published values announce before they change: repaint on a later turn.
    QPointer<CanvasWidget> target(&canvas_);
    auto repaint = [target](const auto&) {
        if (target)
            target->update();
    };
    ContentView& view = canvas_.view();
    PathManager& manager = *view.pathManager;
    observers_.insert(manager.pathCues.observe(repaint));
    observers_.insert(manager.selectedCueIDs.observe(repaint));
    observers_.insert(manager.playingCueIDs.observe(repaint));
    observers_.insert(manager.currentPathNodes.observe(repaint));
    observers_.insert(view.lastDragPosition.observe(repaint));
    observers_.insert(view.zoomLevel.observe(repaint));
}

PathCueLayers::~PathCueLayers() {
    for (const auto& layer : layers_)
        canvas_.removeLayer(layer.get());
}
