#include "Sonavant/canvas/FloorPlanLayer.h"

#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/FloorPlanPlacement.h"

#include <QPainter>

#include <cstdint>

struct FloorPlanLayer::Observers {
    platform::SubscriptionBag bag;
};

FloorPlanLayer::FloorPlanLayer(CanvasWidget& canvas)
    : canvas_(&canvas), observers_(std::make_unique<Observers>()) {
    AppState& state = *canvas.view().appState;
    auto repaint = [this](const auto&) {
        if (canvas_)
            canvas_->update();
    };
    state.showBackgroundImage.observe(repaint).store(observers_->bag);
    state.backgroundImageURL.observe(repaint).store(observers_->bag);
    state.backgroundImageOffset.observe(repaint).store(observers_->bag);
    state.backgroundImageScale.observe(repaint).store(observers_->bag);
    state.backgroundImageRotation.observe(repaint).store(observers_->bag);
    connect(&cache_, &FloorPlanImageCache::changed, &canvas, qOverload<>(&QWidget::update));
    canvas.addLayer(this);
}

FloorPlanLayer::~FloorPlanLayer() {
    observers_.reset();
    if (canvas_)
        canvas_->removeLayer(this);
}

bool FloorPlanLayer::isShown(const ContentView& view) const {
    return view.appState->showBackgroundImage;
}

void FloorPlanLayer::paint(QPainter& painter, const ContentView& view, const QSizeF& canvasSize) {
    const AppState& state = *view.appState;
    const auto file = floorPlanFile(state.showBackgroundImage, state.backgroundImageURL);
    if (!file)
        return;
    const auto* picture = cache_.picture(QString::fromStdString(*file));
    if (!picture)
        return;
    const auto placement = floorPlanPlacement({picture->naturalSize.width(), picture->naturalSize.height()},
                                              state.backgroundImageScale, view.zoomLevel, state.zeroPoint,
                                              state.backgroundImageOffset, state.backgroundImageRotation);
    if (!placement)
        return;
    // The picture's identity is its address: a new version of the file is a new picture.
    const std::vector<double> key{double(reinterpret_cast<std::uintptr_t>(picture)),
                                  placement->centre.x,
                                  placement->centre.y,
                                  placement->size.width,
                                  placement->size.height,
                                  placement->rotation};
    drawn_.paint(painter, canvasSize, key, [&](QPainter& layer) {
        layer.setRenderHint(QPainter::SmoothPixmapTransform);
        layer.setOpacity(FloorPlanPlacement::opacity);
        layer.translate(placement->centre.x, placement->centre.y);
        layer.rotate(placement->rotation);
        const double w = placement->size.width, h = placement->size.height;
        layer.drawImage(QRectF(-w / 2, -h / 2, w, h), picture->image);
    });
}
