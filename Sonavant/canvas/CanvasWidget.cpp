#include "Sonavant/canvas/CanvasWidget.h"
#include "Sonavant/canvas/PathCueLayers.h"

#include "Sonavant/canvas/CanvasItemSprites.h"
#include "Sonavant/canvas/CanvasLayer.h"
#include "Sonavant/canvas/CanvasPalette.h"
#include "Sonavant/canvas/RangeRingStamp.h"
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
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <optional>

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

CanvasWidget::CanvasWidget(ContentView& view, QWidget* parent)
    : QWidget(parent), view_(view), router_(view), sprites_(std::make_unique<CanvasItemSprites>()),
      pictures_(std::make_unique<Pictures>()) {
    setClock({});
    // While a move or a fade runs, the next frame follows about 60 times a second.
    frameTimer_ = new QTimer(this);
    frameTimer_->setSingleShot(true);
    frameTimer_->setInterval(16);
    connect(frameTimer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
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

// The pictures kept between paints, each with the key of what it shows.
struct CanvasWidget::Pictures {
    struct Kept {
        CanvasPaintKey key;
        QImage image;
        bool valid = false;
    };
    Kept ground;            // opaque: the black base and the backdrop
    Kept under;             // opaque: the layers under the range circles
    Kept below;             // opaque: under, with the range circles of the sources not selected
    Kept speakers, sources; // transparent: the loudspeakers, the sources not selected
    RangeRingStamp ring;
};

// Where this paint draws the items: the positions they ease to, and whether selected.
struct CanvasWidget::Drawn {
    struct Item {
        QPointF at;
        bool selected;
    };
    std::vector<Item> sources, speakers;
};

void CanvasWidget::setClock(std::function<double()> clock) {
    if (!clock)
        clock = [] {
            using namespace std::chrono;
            return duration<double>(steady_clock::now().time_since_epoch()).count();
        };
    clock_ = std::move(clock);
}

bool CanvasWidget::isAnimating() const {
    return easing_.isMoving() || hintFade_.isFading(lastPaint_);
}

void CanvasWidget::clearCaches() {
    pictures_ = std::make_unique<Pictures>();
    sprites_ = std::make_unique<CanvasItemSprites>();
    for (CanvasLayer* layer : layers_)
        layer->clearCaches();
}

namespace {

// A picture the size of the canvas in device pixels, cleared to `fill` if given.
void prepare(QImage& image, QSize pixels, qreal ratio, std::optional<QColor> fill) {
    if (image.size() != pixels || image.format() != QImage::Format_ARGB32_Premultiplied)
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    if (fill)
        image.fill(*fill);
}

void begin(QPainter& layer, QImage& image, const QFont& font) {
    layer.begin(&image);
    layer.setRenderHint(QPainter::Antialiasing);
    layer.setFont(font);
}

} // namespace

void CanvasWidget::paintCanvas(QPainter& painter, QSizeF size) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio)));
    if (pixels.isEmpty())
        return;
    const AppState& state = *view_.appState;
    const double now = clock_();
    lastPaint_ = now;
    for (const std::string& entry : markerLog_.entries(state.soundscapeSpeakers, state.canvasOrientation,
                                                       view_.zoomLevel, state.zeroPoint))
        platform::consoleLog(entry);

    Drawn drawn;
    easing_.beginFrame(now);
    for (const auto& source : state.soundObjects.get()) {
        const Point at = easing_.drawn(soundObjectKey(source->id), source->position);
        drawn.sources.push_back({qt(at), view_.isSoundObjectSelected(*source)});
    }
    for (const Speaker& speaker : state.speakers.get()) {
        const Point at = easing_.drawn(speakerKey(speaker.id), speaker.position);
        drawn.speakers.push_back({qt(at), view_.isSpeakerSelected(speaker)});
    }

    // Built-in layers and plugged-in ones, back to front by z-index; ties keep the built-in
    // layer first, then the layers in the order they were added. The items (range circles to
    // sources) are drawn apart, below.
    struct Entry {
        double z;
        std::function<void(QPainter&)> paint;
        std::function<bool(CanvasPaintKey&)> key;
    };
    std::vector<Entry> entries;
    auto slot = [](CanvasLayerSlot s) { return zIndexOf(s); };
    auto fixed = [](CanvasPaintKey&) { return true; };
    // The base and the backdrop never change but with the canvas's size: one kept picture.
    entries.push_back({slot(CanvasLayerSlot::base), [&](QPainter& p) { paintGround(p, size); }, fixed});
    entries.push_back({slot(CanvasLayerSlot::soundscapeSpeakers),
                       [&](QPainter& p) { paintSoundscapeSpeakers(p); },
                       [&](CanvasPaintKey& key) {
                           key << rawValue(state.canvasOrientation.get()) << view_.zoomLevel.get()
                               << state.zeroPoint->x << state.zeroPoint->y;
                           for (const SoundscapeSpeaker& s : state.soundscapeSpeakers.get())
                               key << s.x << s.y << double(s.rotation);
                           return true;
                       }});
    entries.push_back({slot(CanvasLayerSlot::rubberBand), [&](QPainter& p) { paintRubberBand(p); },
                       [&](CanvasPaintKey& key) {
                           if (const auto& r = view_.selectionRect.get())
                               key << r->origin.x << r->origin.y << r->size.width << r->size.height;
                           return true;
                       }});
    entries.push_back({drawingHintZIndex, [&](QPainter& p) { paintDrawingHint(p, size, now); }, {}});
    entries.push_back({editBannerZIndex, [&](QPainter& p) { paintEditBanner(p, size); }, {}});
    for (CanvasLayer* layer : layers_)
        if (layer->isShown(view_))
            entries.push_back({layer->zIndex(view_),
                               [&size, layer, this](QPainter& p) {
                                   p.save();
                                   layer->paint(p, view_, size);
                                   p.restore();
                               },
                               [layer, this](CanvasPaintKey& key) { return layer->paintKey(view_, key); }});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.z < b.z; });
    const auto firstAbove = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) {
        return e.z >= slot(CanvasLayerSlot::rangeCircles);
    });

    const auto& sources = state.soundObjects.get();
    const auto& speakers = state.speakers.get();
    const bool ringsShown = view_.showZeroPoint.get() && !state.isSoundScapeMode;
    const double ringRadius = CanvasMarkerGeometry::rangeCircleDiameter(state.range, view_.zoomLevel) / 2;
    const QString fontKey = painter.font().key();
    auto common = [&](CanvasPaintKey& key) {
        key << size.width() << size.height() << double(ratio) << fontKey.toStdString();
    };
    Pictures& kept = *pictures_;

    // Under: the layers under the range circles. Below: a copy of it with the circles of the
    // sources not selected, so a cue tick or a remote move lays down circles again but does
    // not paint the layers again.
    {
        CanvasPaintKey key;
        common(key);
        bool known = true;
        for (auto e = entries.begin(); e != firstAbove; ++e) {
            key << e->z;
            known = e->key(key) && known;
        }
        const bool changed = !known || !kept.under.valid || key != kept.under.key;
        if (changed) {
            // The ground, first, covers every pixel.
            prepare(kept.under.image, pixels, ratio, std::nullopt);
            QPainter layer;
            begin(layer, kept.under.image, painter.font());
            for (auto e = entries.begin(); e != firstAbove; ++e)
                e->paint(layer);
            kept.under.key = std::move(key);
            kept.under.valid = known;
        }
        CanvasPaintKey rings;
        rings << ringsShown << ringRadius;
        if (ringsShown)
            for (const auto& item : drawn.sources)
                if (!item.selected)
                    rings << item.at.x() << item.at.y();
        if (changed || !kept.below.valid || rings != kept.below.key) {
            prepare(kept.below.image, pixels, ratio, std::nullopt);
            std::memcpy(kept.below.image.bits(), kept.under.image.constBits(),
                        std::size_t(kept.under.image.sizeInBytes()));
            if (ringsShown) {
                kept.ring.prepare(ringRadius, ratio, 128);
                for (const auto& item : drawn.sources)
                    if (!item.selected && kept.ring.touches(item.at, size))
                        kept.ring.stamp(kept.below.image, item.at);
            }
            kept.below.key = std::move(rings);
            kept.below.valid = true;
        }
    }

    // The loudspeakers not selected, and the sources not selected: a source that moves leaves
    // the loudspeakers' cones where they are.
    auto speakersKey = [&](CanvasPaintKey& key) {
        key << rawValue(state.canvasOrientation.get()) << state.showSpeakerFocus.get()
            << state.showSpeakerCoverage.get();
        for (std::size_t i = 0; i < speakers.size(); ++i)
            if (!drawn.speakers[i].selected) {
                const Speaker& s = speakers[i];
                key << drawn.speakers[i].at.x() << drawn.speakers[i].at.y() << s.position.x << s.position.y
                    << s.focus << s.width << s.displayColour << s.displayNumber;
            }
    };
    auto sourcesKey = [&](CanvasPaintKey& key) {
        for (std::size_t i = 0; i < sources.size(); ++i)
            if (!drawn.sources[i].selected) {
                const SoundObject& s = *sources[i];
                key << drawn.sources[i].at.x() << drawn.sources[i].at.y() << s.colour.get()
                    << s.outlineColour.get() << s.number.get();
            }
    };
    auto paintUnselectedSpeakers = [&](QPainter& p) {
        for (std::size_t i = 0; i < speakers.size(); ++i)
            if (!drawn.speakers[i].selected)
                paintSpeaker(p, speakers[i], false, drawn.speakers[i].at, size);
    };
    auto paintUnselectedSources = [&](QPainter& p) {
        for (std::size_t i = 0; i < sources.size(); ++i)
            if (!drawn.sources[i].selected)
                paintSoundObject(p, *sources[i], false, drawn.sources[i].at);
    };
    auto keep = [&](Pictures::Kept& picture, CanvasPaintKey key,
                    const std::function<void(QPainter&)>& paint) {
        if (picture.valid && key == picture.key)
            return;
        prepare(picture.image, pixels, ratio, Qt::transparent);
        QPainter layer;
        begin(layer, picture.image, painter.font());
        paint(layer);
        picture.key = std::move(key);
        picture.valid = true;
    };
    {
        CanvasPaintKey key;
        common(key);
        speakersKey(key);
        keep(kept.speakers, std::move(key), paintUnselectedSpeakers);
    }
    {
        CanvasPaintKey key;
        common(key);
        sourcesKey(key);
        keep(kept.sources, std::move(key), paintUnselectedSources);
    }

    // The frame: the kept pictures copied, what moves drawn on top.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF canvas(QPointF(0, 0), size);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(canvas, kept.below.image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (ringsShown)
        for (const auto& item : drawn.sources)
            if (item.selected)
                paintRangeCircle(painter, item.at);
    paintOffCanvasMarkers(painter, size);
    painter.drawImage(canvas, kept.speakers.image);
    for (std::size_t i = 0; i < speakers.size(); ++i)
        if (drawn.speakers[i].selected)
            paintSpeaker(painter, speakers[i], true, drawn.speakers[i].at, size);
    painter.drawImage(canvas, kept.sources.image);
    for (std::size_t i = 0; i < sources.size(); ++i)
        if (drawn.sources[i].selected)
            paintSoundObject(painter, *sources[i], true, drawn.sources[i].at);
    for (auto e = firstAbove; e != entries.end(); ++e)
        e->paint(painter);
    paintOrientationIndicator(painter, size);
    painter.restore();

    if (isAnimating() && !frameTimer_->isActive())
        frameTimer_->start();
}

void CanvasWidget::paintGround(QPainter& painter, QSizeF size) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio)));
    auto& ground = pictures_->ground;
    CanvasPaintKey key;
    key << size.width() << size.height() << double(ratio);
    if (!ground.valid || key != ground.key) {
        prepare(ground.image, pixels, ratio, Qt::black);
        static const QImage backdrop(QStringLiteral(":/backdrop.png"));
        if (!backdrop.isNull()) {
            // Fitted whole into the canvas, centred; it stays where it is whatever the zoom,
            // zero point or orientation.
            QPainter layer(&ground.image);
            const QSizeF fitted = QSizeF(backdrop.size()).scaled(size, Qt::KeepAspectRatio);
            const QRectF target(
                QPointF((size.width() - fitted.width()) / 2, (size.height() - fitted.height()) / 2), fitted);
            layer.setRenderHint(QPainter::SmoothPixmapTransform);
            layer.setOpacity(0.6);
            layer.drawImage(target, backdrop);
        }
        ground.key = std::move(key);
        ground.valid = true;
    }
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRectF(QPointF(0, 0), size), ground.image);
    painter.restore();
}

void CanvasWidget::paintSoundscapeSpeakers(QPainter& painter) {
    const AppState& state = *view_.appState;
    const CanvasOrientation orientation = state.canvasOrientation;
    for (const SoundscapeSpeaker& speaker : state.soundscapeSpeakers.get()) {
        const auto marker = CanvasMarkerGeometry::soundscapeSpeakerMarker(speaker, orientation,
                                                                          view_.zoomLevel, state.zeroPoint);
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

void CanvasWidget::paintRangeCircle(QPainter& painter, QPointF centre) {
    const double radius =
        CanvasMarkerGeometry::rangeCircleDiameter(view_.appState->range, view_.zoomLevel) / 2;
    // A 2-point line as two 1-point cosmetic rings half a point either side: the raster
    // engine strokes wide antialiased curves of this size an order of magnitude slower.
    QPen pen(QColor(255, 255, 255, 128), 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius - 0.5, radius - 0.5);
    painter.drawEllipse(centre, radius + 0.5, radius + 0.5);
}

void CanvasWidget::paintOffCanvasMarkers(QPainter& painter, QSizeF size) {
    const double w = size.width(), h = size.height();
    for (const auto& marker : view_.offCanvasMarkers(ViewRect{{0, 0}, {w, h}})) {
        const QPointF centre = qt(CanvasMarkerGeometry::offCanvasMarkerPosition(marker.position, w, h));
        QColor fill = CanvasPalette::named(marker.colour);
        fill.setAlphaF(0.6f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        const double r = CanvasMarkerGeometry::offCanvasMarkerDiameter / 2;
        painter.drawEllipse(centre, r, r);
        if (marker.outline) {
            QColor ring = CanvasPalette::named(*marker.outline);
            ring.setAlphaF(0.6f);
            painter.setPen(QPen(ring, 2));
            painter.setBrush(Qt::NoBrush);
            const double outline = CanvasMarkerGeometry::offCanvasOutlineDiameter / 2;
            painter.drawEllipse(centre, outline, outline);
        }
    }
}

void CanvasWidget::paintSpeaker(QPainter& painter, const Speaker& speaker, bool selected, QPointF at,
                                QSizeF size) {
    const AppState& state = *view_.appState;
    const QColor purple = CanvasPalette::purple();
    const auto overlay = SpeakerOverlayGeometry::of(speaker, selected, state.canvasOrientation,
                                                    state.showSpeakerFocus, state.showSpeakerCoverage);
    const QRectF canvas(QPointF(0, 0), size);
    if (overlay.showsCone) {
        const auto& cone = overlay.cone;
        const QRectF reach(cone.centre.x - cone.radius, cone.centre.y - cone.radius, 2 * cone.radius,
                           2 * cone.radius);
        // A cone wholly outside the canvas costs nothing.
        if (reach.intersects(canvas)) {
            // A polygon (the arc in steps of at most 3 degrees, under a tenth of a point off
            // the true arc at this radius) fills much faster than the same curved path.
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
            if (wedge.boundingRect().intersects(canvas)) {
                QColor conePurple = purple;
                conePurple.setAlphaF(0.25f);
                painter.setPen(Qt::NoPen);
                painter.setBrush(conePurple);
                painter.drawPolygon(wedge);
            }
        }
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
        // One point wide without a transform: the cosmetic pen draws the same dots, much faster.
        QColor linePurple = purple;
        linePurple.setAlphaF(0.6f);
        QPen dotted(linePurple, 1.0, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
        dotted.setDashPattern({4, 4});
        dotted.setMiterLimit(10);
        dotted.setCosmetic(true);
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
    sprites_->draw(painter, at, look);
}

void CanvasWidget::paintSoundObject(QPainter& painter, const SoundObject& source, bool selected, QPointF at) {
    CanvasItemSprites::Look look;
    look.colour = CanvasPalette::named(source.colour.get()).rgba();
    const std::string& outline = source.outlineColour;
    look.hasOutline = !outline.empty();
    if (look.hasOutline)
        look.outline = CanvasPalette::named(outline).rgba();
    look.ringRadius = selected ? 16 : 0;
    look.number = source.number;
    sprites_->draw(painter, at, look);
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

void CanvasWidget::paintDrawingHint(QPainter& painter, QSizeF size, double now) {
    const bool shown =
        view_.isRecordingPath && view_.pathManager && view_.pathManager->currentPathNodes->size() == 1;
    // It fades in and out.
    const double opacity = hintFade_.opacity(shown, now);
    if (opacity <= 0)
        return;
    painter.save();
    painter.setOpacity(opacity);
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
