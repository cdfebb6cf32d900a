#include "Sonavant/canvas/FloorPlanLayer.h"

#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/FloorPlanPlacement.h"

#include <QPainter>

struct FloorPlanLayer::Observers {
    platform::SubscriptionBag bag;
};

FloorPlanLayer::FloorPlanLayer(CanvasWidget& canvas)
    : canvas_(canvas), observers_(std::make_unique<Observers>()) {
    AppState& state = *canvas.view().appState;
    auto repaint = [this](const auto&) { canvas_.update(); };
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
    canvas_.removeLayer(this);
}

bool FloorPlanLayer::isShown(const ContentView& view) const {
    return view.appState->showBackgroundImage;
}

void FloorPlanLayer::paint(QPainter& painter, const ContentView& view, const QSizeF&) {
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
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(FloorPlanPlacement::opacity);
    painter.translate(placement->centre.x, placement->centre.y);
    painter.rotate(placement->rotation);
    const double w = placement->size.width, h = placement->size.height;
    painter.drawImage(QRectF(-w / 2, -h / 2, w, h), picture->image);
}
