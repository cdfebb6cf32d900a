#include "Sonavant/canvas/FloorPlanLayer.h"

#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/FloorPlanPlacement.h"

#include <QPainter>

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

struct FloorPlanLayer::Drawn {
    const FloorPlanImageCache::Picture* picture;
    FloorPlanPlacement placement;
};

std::optional<FloorPlanLayer::Drawn> FloorPlanLayer::drawn(const ContentView& view) const {
    const AppState& state = *view.appState;
    const auto file = floorPlanFile(state.showBackgroundImage, state.backgroundImageURL);
    if (!file)
        return std::nullopt;
    const auto* picture = cache_.picture(QString::fromStdString(*file));
    if (!picture)
        return std::nullopt;
    const auto placement = floorPlanPlacement({picture->naturalSize.width(), picture->naturalSize.height()},
                                              state.backgroundImageScale, view.zoomLevel, state.zeroPoint,
                                              state.backgroundImageOffset, state.backgroundImageRotation);
    if (!placement)
        return std::nullopt;
    return Drawn{picture, *placement};
}

bool FloorPlanLayer::paintKey(const ContentView& view, CanvasPaintKey& key) const {
    const auto now = drawn(view);
    key << now.has_value();
    if (now) {
        // Every image read has a key of its own: a new version of the file is a new picture.
        key << std::int64_t(now->picture->image.cacheKey()) << now->placement.centre.x
            << now->placement.centre.y << now->placement.size.width << now->placement.size.height
            << now->placement.rotation;
    }
    return true;
}

void FloorPlanLayer::paint(QPainter& painter, const ContentView& view, const QSizeF& canvasSize) {
    const auto now = drawn(view);
    if (!now)
        return;
    const auto* picture = now->picture;
    const auto* placement = &now->placement;
    const std::vector<double> key{double(picture->image.cacheKey()),
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
