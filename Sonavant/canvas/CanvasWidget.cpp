#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/canvas/PathCueLayers.h"

#include "Sonavant/canvas/CanvasItemSprites.h"
#include "Sonavant/canvas/CanvasLayer.h"
#include "Sonavant/canvas/CanvasPalette.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/ui/ArrowKeyMoveHandler.h"
#include "Sonavant/ui/CanvasMarkerGeometry.h"
#include "Sonavant/ui/SpeakerOverlayGeometry.h"
#include "platform/Log.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

QPointF qt(Point p) {
    return {p.x, p.y};
}

constexpr double radiansToDegrees = 180.0 / std::numbers::pi;

// A loudspeaker glyph (box and horn), pointing right before it is turned.
void paintSpeakerGlyph(QPainter& painter, QPointF centre, double angleRadians) {
    painter.save();
    painter.translate(centre);
    painter.rotate(angleRadians * radiansToDegrees);
    QPainterPath glyph;
    glyph.addRect(-7, -3.5, 4.5, 7);
    glyph.moveTo(-2.5, -3.5);
    glyph.lineTo(4, -8);
    glyph.lineTo(4, 8);
    glyph.lineTo(-2.5, 3.5);
    glyph.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPath(glyph);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(QRectF(1, -6, 8, 12), -50 * 16, 100 * 16);
    painter.restore();
}

std::uint64_t modifierFlags(Qt::KeyboardModifiers modifiers) {
    std::uint64_t flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= ContentView::shiftModifierFlag;
    if (modifiers & Qt::ControlModifier)
        flags |= ContentView::controlModifierFlag;
    return flags;
}

} // namespace

// What the loudspeaker layer shows; while it stays the same (a source drag, a rubber band)
// the layer is copied from the last paint instead of filling every cone again.
struct CanvasWidget::SpeakerLayerCache {
    struct Look {
        std::int64_t id, displayNumber;
        double x, y, focus, width;
        std::string colour;
        bool selected;
        bool operator==(const Look&) const = default;
    };
    std::vector<Look> looks;
    CanvasOrientation orientation = CanvasOrientation::top;
    bool showArrow = false, showCoverage = false;
    QSize pixels;
    qreal ratio = 1;
    QImage image;
};

CanvasWidget::CanvasWidget(ContentView& view, QWidget* parent)
    : QWidget(parent), view_(view), router_(view), sprites_(std::make_unique<CanvasItemSprites>()),
      speakerCache_(std::make_unique<SpeakerLayerCache>()) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    observeShow();
    pathLayers_ = std::make_unique<PathCueLayers>(*this);
}

CanvasWidget::~CanvasWidget() {
    Q_EMIT goingAway();
}

void CanvasWidget::addLayer(CanvasLayer* layer) {
    if (!layer || std::find(layers_.begin(), layers_.end(), layer) != layers_.end())
        return;
    layers_.push_back(layer);
    router_.addLayer(layer->pointerLayer());
    update();
}

void CanvasWidget::removeLayer(CanvasLayer* layer) {
    std::erase(layers_, layer);
    if (layer)
        router_.removeLayer(layer->pointerLayer());
    update();
}

void CanvasWidget::repaintLater() {
    update();
}

// Published values announce a change before it is visible; a repaint runs later and reads
// the new state. Handlers that need the new value run on a later turn of the event loop.
void CanvasWidget::observeShow() {
    auto repaint = [this](const auto&) { repaintLater(); };
    AppState& state = *view_.appState;
    showObservers_.clear();
    state.speakers.observe(repaint).store(showObservers_);
    state.soundObjects
        .observe([this](const auto&) {
            repaintLater();
            QMetaObject::invokeMethod(
                this, [this] { observeSources(); }, Qt::QueuedConnection);
        })
        .store(showObservers_);
    state.audienceAreas.observe(repaint).store(showObservers_);
    state.selectedAudienceAreaID.observe(repaint).store(showObservers_);
    state.soundscapeSpeakers.observe(repaint).store(showObservers_);
    state.isEditingAudienceArea.observe(repaint).store(showObservers_);
    state.showSpeakerFocus.observe(repaint).store(showObservers_);
    state.showSpeakerCoverage.observe(repaint).store(showObservers_);
    state.canvasOrientation.observe(repaint).store(showObservers_);
    state.zeroPoint.observe(repaint).store(showObservers_);
    state.isSoundScapeMode.observe(repaint).store(showObservers_);
    state.showGrid.observe(repaint).store(showObservers_);
    state.pathCues.observe(repaint).store(showObservers_);
    view_.selectedObjects.observe(repaint).store(showObservers_);
    view_.selectionRect.observe(repaint).store(showObservers_);
    view_.isRecordingPath.observe(repaint).store(showObservers_);
    view_.showZeroPoint.observe(repaint).store(showObservers_);

    QPointer<CanvasWidget> self(this);
    auto later = [self](std::function<void(ContentView&)> handler) {
        QMetaObject::invokeMethod(
            self,
            [self, handler] {
                if (self)
                    handler(self->view_);
            },
            Qt::QueuedConnection);
    };
    view_.zoomLevel
        .observe([this, later](double zoom) {
            repaintLater();
            if (zoom != view_.zoomLevel.get())
                later([zoom](ContentView& view) { view.zoomLevelChanged(zoom); });
        })
        .store(showObservers_);
    // The range circles follow the range; the main view sends the levels for all four.
    state.range.observe(repaint).store(showObservers_);
    state.maxLevel.observe(repaint).store(showObservers_);
    state.minLevel.observe(repaint).store(showObservers_);
    state.panningMode.observe(repaint).store(showObservers_);
    observeSources();
}

void CanvasWidget::observeSources() {
    sourceObservers_.clear();
    auto repaint = [this](const auto&) { repaintLater(); };
    for (const auto& source : view_.appState->soundObjects.get()) {
        source->position.observe(repaint).store(sourceObservers_);
        source->colour.observe(repaint).store(sourceObservers_);
        source->outlineColour.observe(repaint).store(sourceObservers_);
        source->number.observe(repaint).store(sourceObservers_);
    }
    update();
}

void CanvasWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (appeared_)
        return;
    appeared_ = true;
    const ViewSize size{double(width()), double(height())};
    view_.canvasAppeared(CanvasGeometryProxy{size, ViewRect{{double(x()), double(y())}, size}});
}

void CanvasWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The first size comes with the first showing.
    if (!appeared_)
        return;
    const ViewSize size{double(width()), double(height())};
    view_.canvasResized(size, CanvasGeometryProxy{size, ViewRect{{double(x()), double(y())}, size}});
}

void CanvasWidget::route(QMouseEvent* event, int kind) {
    CanvasPointerEvent pointer;
    pointer.kind = static_cast<CanvasPointerEvent::Kind>(kind);
    pointer.location = {event->position().x(), event->position().y()};
    pointer.modifiers = modifierFlags(event->modifiers());
    pointer.button = event->button() == Qt::LeftButton || (kind == int(CanvasPointerEvent::Kind::move) &&
                                                           (event->buttons() & Qt::LeftButton))
                         ? CanvasPointerEvent::Button::left
                     : event->button() == Qt::RightButton || (event->buttons() & Qt::RightButton)
                         ? CanvasPointerEvent::Button::right
                         : CanvasPointerEvent::Button::other;
    router_.handle(pointer);
    event->accept();
}

void CanvasWidget::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    route(event, int(CanvasPointerEvent::Kind::press));
}

void CanvasWidget::mouseMoveEvent(QMouseEvent* event) {
    route(event, int(CanvasPointerEvent::Kind::move));
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent* event) {
    route(event, int(CanvasPointerEvent::Kind::release));
}

void CanvasWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    route(event, int(CanvasPointerEvent::Kind::doubleClick));
}

void CanvasWidget::keyPressEvent(QKeyEvent* event) {
    MoveDirection direction;
    switch (event->key()) {
    case Qt::Key_Up:
        direction = MoveDirection::up;
        break;
    case Qt::Key_Down:
        direction = MoveDirection::down;
        break;
    case Qt::Key_Left:
        direction = MoveDirection::left;
        break;
    case Qt::Key_Right:
        direction = MoveDirection::right;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    // The move runs after the events already queued; repeats of a held key that pile up
    // meanwhile are dropped.
    if (!arrowKeys_.offer(event->isAutoRepeat()))
        return;
    QPointer<CanvasWidget> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, direction] {
            if (!self)
                return;
            arrowKeyMoveHandler(self->view_).handleMove(direction);
            self->arrowKeys_.done();
        },
        Qt::QueuedConnection);
}

void CanvasWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintCanvas(painter, QSizeF(size()));
}

void CanvasWidget::paintCanvas(QPainter& painter, QSizeF size) {
    painter.save();
    // The device clips to the canvas; a clip of our own would send every path down the
    // slow clipped rasterizer.
    painter.setRenderHint(QPainter::Antialiasing);

    // Built-in layers and plugged-in ones, back to front by z-index; ties keep the built-in
    // layer first, then the layers in the order they were added.
    struct Entry {
        double z;
        std::function<void()> paint;
    };
    std::vector<Entry> entries;
    auto slot = [](CanvasLayerSlot s) { return zIndexOf(s); };
    entries.push_back({slot(CanvasLayerSlot::base), [&] { paintBase(painter, size); }});
    entries.push_back({slot(CanvasLayerSlot::soundscapeSpeakers), [&] { paintSoundscapeSpeakers(painter); }});
    entries.push_back({slot(CanvasLayerSlot::rubberBand), [&] { paintRubberBand(painter); }});
    entries.push_back({slot(CanvasLayerSlot::rangeCircles), [&] { paintRangeCircles(painter); }});
    entries.push_back(
        {slot(CanvasLayerSlot::offCanvasMarkers), [&] { paintOffCanvasMarkers(painter, size); }});
    entries.push_back({slot(CanvasLayerSlot::speakers), [&] { paintSpeakers(painter); }});
    entries.push_back({slot(CanvasLayerSlot::soundObjects), [&] { paintSoundObjects(painter); }});
    entries.push_back({drawingHintZIndex, [&] { paintDrawingHint(painter, size); }});
    entries.push_back({editBannerZIndex, [&] { paintEditBanner(painter, size); }});
    for (CanvasLayer* layer : layers_)
        if (layer->isShown(view_))
            entries.push_back({layer->zIndex(view_), [&painter, &size, layer, this] {
                                   painter.save();
                                   layer->paint(painter, view_, size);
                                   painter.restore();
                               }});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.z < b.z; });
    for (const Entry& entry : entries)
        entry.paint();
    paintOrientationIndicator(painter, size);
    painter.restore();
}

void CanvasWidget::paintBase(QPainter& painter, QSizeF size) {
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::black);
}

void CanvasWidget::paintSoundscapeSpeakers(QPainter& painter) {
    const AppState& state = *view_.appState;
    const CanvasOrientation orientation = state.canvasOrientation;
    for (const SoundscapeSpeaker& speaker : state.soundscapeSpeakers.get()) {
        const auto marker = CanvasMarkerGeometry::soundscapeSpeakerMarker(speaker, orientation,
                                                                          view_.zoomLevel, state.zeroPoint);
        // A marker is built anew when its loudspeaker turns or the canvas does; only then
        // does it write its console entry, not on every repaint.
        const std::string key = speaker.id.string() + "-" + std::string(rawValue(orientation));
        auto it = soundscapeAngles_.find(key);
        if (it == soundscapeAngles_.end() || it->second.first != speaker.rotation) {
            platform::consoleLog(marker.logEntry);
            soundscapeAngles_[key] = {speaker.rotation, marker.adjustedAngle};
        }
        const QPointF centre = qt(marker.position);
        painter.setPen(Qt::NoPen);
        painter.setBrush(CanvasPalette::colour(NamedColor::gray));
        painter.drawEllipse(centre, 15, 15);
        paintSpeakerGlyph(painter, centre, marker.adjustedAngle * std::numbers::pi / 180);
    }
}

void CanvasWidget::paintRubberBand(QPainter& painter) {
    const auto& rect = view_.selectionRect.get();
    if (!rect)
        return;
    QPen pen(Qt::white, 1.0);
    pen.setDashPattern({5, 5});
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect->origin.x, rect->origin.y, rect->size.width, rect->size.height));
}

void CanvasWidget::paintRangeCircles(QPainter& painter) {
    const AppState& state = *view_.appState;
    if (!view_.showZeroPoint.get() || state.isSoundScapeMode)
        return;
    const double radius = CanvasMarkerGeometry::rangeCircleDiameter(state.range, view_.zoomLevel) / 2;
    // A 2-point line as two 1-point cosmetic rings half a point either side: the raster
    // engine strokes wide antialiased curves of this size an order of magnitude slower.
    QPen pen(QColor(255, 255, 255, 128), 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    for (const auto& source : state.soundObjects.get()) {
        const QPointF centre = qt(source->position);
        painter.drawEllipse(centre, radius - 0.5, radius - 0.5);
        painter.drawEllipse(centre, radius + 0.5, radius + 0.5);
    }
}

void CanvasWidget::paintOffCanvasMarkers(QPainter& painter, QSizeF size) {
    const double w = size.width(), h = size.height();
    for (const auto& marker : view_.offCanvasMarkers(ViewRect{{0, 0}, {w, h}})) {
        const QPointF centre = qt(CanvasMarkerGeometry::offCanvasMarkerPosition(marker.position, w, h));
        QColor fill = CanvasPalette::named(marker.colour);
        fill.setAlphaF(0.6f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(centre, 6, 6);
        if (marker.outline) {
            QColor ring = CanvasPalette::named(*marker.outline);
            ring.setAlphaF(0.6f);
            painter.setPen(QPen(ring, 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(centre, 6, 6);
        }
    }
}

void CanvasWidget::paintSpeakers(QPainter& painter) {
    const AppState& state = *view_.appState;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels =
        painter.device() ? QSize(painter.device()->width(), painter.device()->height()) * ratio : QSize();
    // Only an untransformed painter on a device as large as the canvas can take the copy.
    if (pixels.isEmpty() || painter.transform().type() != QTransform::TxNone) {
        paintSpeakerLayer(painter);
        return;
    }
    std::vector<SpeakerLayerCache::Look> looks;
    looks.reserve(state.speakers->size());
    for (const Speaker& s : state.speakers.get())
        looks.push_back({s.id, s.displayNumber, s.position.x, s.position.y, s.focus, s.width, s.displayColour,
                         view_.isSpeakerSelected(s)});
    auto& cache = *speakerCache_;
    if (cache.image.isNull() || cache.looks != looks || cache.orientation != state.canvasOrientation.get() ||
        cache.showArrow != state.showSpeakerFocus.get() ||
        cache.showCoverage != state.showSpeakerCoverage.get() || cache.pixels != pixels ||
        cache.ratio != ratio) {
        cache.looks = std::move(looks);
        cache.orientation = state.canvasOrientation;
        cache.showArrow = state.showSpeakerFocus;
        cache.showCoverage = state.showSpeakerCoverage;
        cache.pixels = pixels;
        cache.ratio = ratio;
        if (cache.image.size() != pixels)
            cache.image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        cache.image.setDevicePixelRatio(ratio);
        cache.image.fill(Qt::transparent);
        QPainter layer(&cache.image);
        layer.setRenderHint(QPainter::Antialiasing);
        layer.setFont(painter.font());
        paintSpeakerLayer(layer);
    }
    painter.drawImage(QPointF(0, 0), cache.image);
}

void CanvasWidget::paintSpeakerLayer(QPainter& painter) {
    const AppState& state = *view_.appState;
    const CanvasOrientation orientation = state.canvasOrientation;
    const QColor purple = CanvasPalette::purple();
    QColor conePurple = purple;
    conePurple.setAlphaF(0.25f);
    QColor linePurple = purple;
    linePurple.setAlphaF(0.6f);
    // One point wide without a transform: the cosmetic pen draws the same dots, much faster.
    QPen dotted(linePurple, 1.0, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    dotted.setDashPattern({4, 4});
    dotted.setMiterLimit(10);
    dotted.setCosmetic(true);

    for (const Speaker& speaker : state.speakers.get()) {
        const bool selected = view_.isSpeakerSelected(speaker);
        const auto overlay = SpeakerOverlayGeometry::of(speaker, selected, orientation,
                                                        state.showSpeakerFocus, state.showSpeakerCoverage);
        if (overlay.showsCone) {
            // A polygon (the arc in steps of at most 3 degrees, under a tenth of a point off
            // the true arc at this radius) fills much faster than the same curved path.
            const auto& cone = overlay.cone;
            const double sweep = std::min(cone.endAngle - cone.startAngle, 2 * std::numbers::pi);
            const int steps = std::max(2, int(std::ceil(std::abs(sweep) * radiansToDegrees / 3)));
            QPolygonF wedge;
            wedge.reserve(steps + 2);
            if (sweep < 2 * std::numbers::pi)
                wedge << qt(cone.centre);
            for (int i = 0; i <= steps; ++i) {
                const double a = cone.startAngle + sweep * i / steps;
                wedge << QPointF(cone.centre.x + cone.radius * std::cos(a),
                                 cone.centre.y + cone.radius * std::sin(a));
            }
            painter.setPen(Qt::NoPen);
            painter.setBrush(conePurple);
            painter.drawPolygon(wedge);
        }
        if (overlay.showsArrow) {
            QPainterPath head;
            head.moveTo(qt(overlay.arrow.tip));
            head.lineTo(qt(overlay.arrow.wing1));
            head.lineTo(qt(overlay.arrow.wing2));
            head.lineTo(qt(overlay.arrow.tip));
            painter.setPen(Qt::NoPen);
            painter.setBrush(purple);
            painter.drawPath(head);
            painter.setPen(dotted);
            painter.setBrush(Qt::NoBrush);
            painter.drawLine(qt(overlay.lineStart), qt(overlay.lineEnd));
        }
        if (overlay.showsHandle) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(purple);
            const double r = SpeakerOverlayGeometry::handleDiameter / 2;
            painter.drawEllipse(qt(overlay.handleCentre), r, r);
        }
        CanvasItemSprites::Look look;
        look.colour = CanvasPalette::named(speaker.displayColour).rgba();
        look.ringRadius = selected ? 15.5 : 0;
        look.number = speaker.displayNumber;
        sprites_->draw(painter, qt(speaker.position), look);
    }
}

void CanvasWidget::paintSoundObjects(QPainter& painter) {
    for (const auto& source : view_.appState->soundObjects.get()) {
        CanvasItemSprites::Look look;
        look.colour = CanvasPalette::named(source->colour.get()).rgba();
        const std::string& outline = source->outlineColour;
        look.hasOutline = !outline.empty();
        if (look.hasOutline)
            look.outline = CanvasPalette::named(outline).rgba();
        look.ringRadius = view_.isSoundObjectSelected(*source) ? 16 : 0;
        look.number = source->number;
        sprites_->draw(painter, qt(source->position), look);
    }
}

namespace {

// A headline text on a rounded plate, centred on `centre`.
void paintPlate(QPainter& painter, const QString& text, QPointF centre, double padding, const QColor& plate,
                const QColor& ink) {
    QFont font = painter.font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() * 1.15 : 12);
    painter.setFont(font);
    const QSizeF textSize = painter.fontMetrics().size(Qt::TextSingleLine, text);
    const QSizeF plateSize(textSize.width() + 2 * padding, textSize.height() + 2 * padding);
    const QRectF box(centre - QPointF(plateSize.width() / 2, plateSize.height() / 2), plateSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(plate);
    painter.drawRoundedRect(box, 8, 8);
    painter.setPen(ink);
    painter.drawText(box, Qt::AlignCenter, text);
}

} // namespace

void CanvasWidget::paintDrawingHint(QPainter& painter, QSizeF size) {
    if (!view_.isRecordingPath || !view_.pathManager || view_.pathManager->currentPathNodes->size() != 1)
        return;
    painter.save();
    paintPlate(painter, QStringLiteral("Click or Drag to draw a path. Control + Click to end a path."),
               QPointF(size.width() * 0.5, size.height() - 40), 8, QColor(0, 0, 0, 179), Qt::white);
    painter.restore();
}

void CanvasWidget::paintEditBanner(QPainter& painter, QSizeF size) {
    if (!view_.appState->isEditingAudienceArea)
        return;
    painter.save();
    QFont font = painter.font();
    const double height = QFontMetricsF(font).height() * 1.15 + 12;
    paintPlate(painter, QStringLiteral("🎯 Audience Area Edit Mode"),
               QPointF(size.width() / 2, 12 + height / 2), 6, QColor(255, 214, 10, 242), Qt::black);
    painter.restore();
}

void CanvasWidget::paintOrientationIndicator(QPainter& painter, QSizeF size) {
    // The 40-point badge at the top right, 8 points in: a north arrow turned with the canvas.
    const QPointF centre(size.width() - 8 - 20, 8 + 20);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 77));
    painter.drawEllipse(centre, 20, 20);
    painter.translate(centre);
    painter.rotate(forwardAngle(view_.appState->canvasOrientation) * radiansToDegrees);
    painter.setOpacity(0.6);
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(0, 0), 11, 11);
    QPainterPath needle;
    needle.moveTo(0, -8);
    needle.lineTo(5, 5);
    needle.lineTo(0, 2);
    needle.lineTo(-5, 5);
    needle.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPath(needle);
    painter.restore();
}
