#include "Sonavant/canvas/AudienceAreaLayer.h"

#include "Sonavant/canvas/AudienceAreaEditPanel.h"
#include "Sonavant/canvas/CanvasPalette.h"
#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/AudienceAreaPointerLayer.h"

#include <QMetaObject>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

QPointF qt(Point p) {
    return {p.x, p.y};
}

std::vector<AudienceAreaFigure> figuresOf(const ContentView& view) {
    const AppState& state = *view.appState;
    return audienceAreaFigures(state.audienceAreas, state.selectedAudienceAreaID, state.isEditingAudienceArea,
                               state.canvasOrientation, view.zoomLevel, state.zeroPoint);
}

const AudienceAreaFigure* editedFigure(const std::vector<AudienceAreaFigure>& figures) {
    auto it = std::find_if(figures.begin(), figures.end(), [](const auto& f) { return f.isEdited(); });
    return it == figures.end() ? nullptr : &*it;
}

} // namespace

// The edited area's node handles: white 16-point discs above the items.
class AudienceAreaLayer::Handles : public CanvasLayer {
public:
    CanvasLayerSlot slot() const override { return CanvasLayerSlot::audienceAreas; }
    double zIndex(const ContentView&) const override { return AudienceAreaPointerLayer::editingZIndex; }
    bool isShown(const ContentView& view) const override { return view.appState->isEditingAudienceArea; }
    void paint(QPainter& painter, const ContentView& view, const QSizeF&) override {
        const auto figures = figuresOf(view);
        const AudienceAreaFigure* edited = editedFigure(figures);
        if (!edited)
            return;
        const double r = AudienceAreaFigure::handleSize / 2;
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        for (const Point& p : edited->points)
            painter.drawEllipse(qt(p), r, r);
    }
};

struct AudienceAreaLayer::Observers {
    platform::SubscriptionBag bag;
};

AudienceAreaLayer::AudienceAreaLayer(CanvasWidget& canvas)
    : canvas_(&canvas), view_(canvas.view()),
      pointer_(std::make_unique<AudienceAreaPointerLayer>(canvas.view())),
      handles_(std::make_unique<Handles>()), observers_(std::make_unique<Observers>()) {
    ContentView& view = canvas.view();
    AppState& state = *view.appState;
    auto changed = [this](const auto&) { syncPanelLater(); };
    state.audienceAreas.observe(changed).store(observers_->bag);
    state.selectedAudienceAreaID.observe(changed).store(observers_->bag);
    state.isEditingAudienceArea.observe(changed).store(observers_->bag);
    state.zeroPoint.observe(changed).store(observers_->bag);
    state.canvasOrientation.observe(changed).store(observers_->bag);
    view.zoomLevel.observe(changed).store(observers_->bag);
    canvas.addLayer(this);
    canvas.addLayer(handles_.get());
    syncPanel();
}

AudienceAreaLayer::~AudienceAreaLayer() {
    observers_.reset();
    if (canvas_) {
        canvas_->removeLayer(handles_.get());
        canvas_->removeLayer(this);
    }
    delete panel_;
}

double AudienceAreaLayer::zIndex(const ContentView& view) const {
    return AudienceAreaPointerLayer::zIndexFor(view);
}

bool AudienceAreaLayer::paintKey(const ContentView& view, CanvasPaintKey& key) const {
    for (const auto& figure : figuresOf(view)) {
        key << std::int64_t(figure.points.size());
        for (const Point& p : figure.points)
            key << p.x << p.y;
        key << figure.name << std::int64_t(figure.colour) << figure.outlineWidth() << figure.outlineOpacity();
    }
    return true;
}

bool AudienceAreaLayer::isShown(const ContentView& view) const {
    return !view.appState->audienceAreas->empty();
}

CanvasPointerLayer* AudienceAreaLayer::pointerLayer() {
    return pointer_.get();
}

AudienceAreaEditPanel* AudienceAreaLayer::editPanel() const {
    return panel_ && panel_->isVisible() ? panel_.data() : nullptr;
}

void AudienceAreaLayer::paint(QPainter& painter, const ContentView& view, const QSizeF&) {
    QFont caption = painter.font();
    caption.setPointSizeF(std::max(7.0, caption.pointSizeF() * 0.85));
    for (const auto& figure : figuresOf(view)) {
        QPainterPath outline;
        if (!figure.points.empty()) {
            outline.moveTo(qt(figure.points.front()));
            for (std::size_t i = 1; i < figure.points.size(); ++i)
                outline.lineTo(qt(figure.points[i]));
            outline.closeSubpath();
        }
        outline.setFillRule(Qt::WindingFill);
        QColor fill = CanvasPalette::colour(figure.colour);
        fill.setAlphaF(AudienceAreaFigure::fillOpacity);
        painter.fillPath(outline, fill);
        QColor stroke(Qt::white);
        stroke.setAlphaF(figure.outlineOpacity());
        QPen pen(stroke, figure.outlineWidth(), Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        pen.setMiterLimit(10);
        painter.strokePath(outline, pen);
        if (!figure.name.empty()) {
            painter.setFont(caption);
            painter.setPen(Qt::white);
            const QString name = QString::fromStdString(figure.name);
            const QRectF box(figure.centre.x - 200, figure.centre.y - 50, 400, 100);
            painter.drawText(box, Qt::AlignCenter, name);
        }
    }
}

// Published values announce a change before it is visible: the panel follows on the next
// turn of the event loop, once the show holds the new value.
void AudienceAreaLayer::syncPanelLater() {
    if (canvas_)
        canvas_->update();
    if (syncQueued_)
        return;
    syncQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            syncQueued_ = false;
            syncPanel();
        },
        Qt::QueuedConnection);
}

void AudienceAreaLayer::syncPanel() {
    if (!canvas_)
        return;
    ContentView& view = view_;
    const auto figures = figuresOf(view);
    const AudienceAreaFigure* edited = editedFigure(figures);
    if (!edited) {
        if (panel_)
            panel_->hide();
        return;
    }
    if (!panel_) {
        panel_ = new AudienceAreaEditPanel(canvas_);
        connect(panel_, &AudienceAreaEditPanel::nameEdited, this, [this](const QString& name) {
            if (auto id = view_.appState->selectedAudienceAreaID.get())
                view_.setAudienceAreaName(*id, name.toStdString());
        });
        connect(panel_, &AudienceAreaEditPanel::colourChosen, this, [this](const QString& colour) {
            if (auto id = view_.appState->selectedAudienceAreaID.get())
                view_.setAudienceAreaColor(*id, colour.toStdString());
        });
    }
    const AudienceArea& area = view.appState->audienceAreas.get()[edited->index];
    panel_->showArea(QString::fromStdString(area.name), QString::fromStdString(area.color));
    std::vector<QPointF> handles;
    for (const Point& p : edited->points)
        handles.push_back(qt(p));
    panel_->centreAt(qt(edited->panelCentre()), handles, AudienceAreaFigure::handleSize);
    panel_->show();
    panel_->raise();
}
