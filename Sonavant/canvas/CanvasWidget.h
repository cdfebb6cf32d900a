#pragma once
// The room canvas: one widget over the main view (ContentView), painted with QPainter in
// layer order and hit-tested in reverse. Widget coordinates are canvas points. It holds no
// rules of its own: pointer events go as plain structs to CanvasPointerRouter, arrow keys to
// ArrowKeyMoveHandler, and the change handlers (first showing, resize, zoom, level
// settings) to ContentView; it paints what the show and the view hold.
//
// Layer stack, back to front (CanvasLayerSlot): 0 black base, 1 backdrop (a picture of ours
// fitted into the canvas at opacity 0.6), 2 floor plan,
// 4 audience areas, 5 DS100 loudspeakers, 6-9 path drawing and path cues, 10 grid,
// 11 rubber band, 12 range circles, 13 edge markers, 14 loudspeakers with their overlay
// (cone, arrow head, dotted focus line, focus handle), 15 sources, 16 drawing hint (z 100),
// the edit banner (z 1000), and the orientation indicator at the top right. The path layers
// (6-9, PathCueLayers) come with every canvas.
//
// Plugging in a later layer (2, 4, 6-10): implement CanvasLayer (paint in canvas points;
// slot(); zIndex() to lift itself above the items, as the area editor does in edit mode;
// paintKey() naming everything its picture depends on, or the layers under the items are
// painted afresh at every repaint), and if it takes the pointer, a CanvasPointerLayer (Sonavant/ui, Qt-free,
// tested headless) returned by pointerLayer(). Then `canvas.addLayer(&layer)`: it is painted at its z-index
// among the built-in layers and asked for hits in the same order; a pointer layer that
// observes every event (path recording) sees each one beside the gesture's owner. The
// canvas does not own layers; remove one with removeLayer before it goes.
//
// The view must outlive the canvas. The object list (a panel) lies over the canvas's top-left
// corner as a sibling widget, above everything drawn here.
//
// Painting: items are drawn where they ease to (a move eases in and out over 0.05 s; only the
// drawing, the show has the new position at once), so a drag repaints many times a second.
// What lies under the range circles (layers up to 11, with every plugged-in layer that can
// name what it depends on) is kept in one picture, a copy of it with the range circles of the
// sources not selected in another, the loudspeakers not selected and the sources not selected
// in one each; each is painted again only when something it depends on changed, and copied
// otherwise. The selected items (the ones a
// drag or a focus turn moves), the edge markers and the layers above the items are drawn on
// top every time, so within the loudspeakers and within the sources the selected ones lie
// above the others.

// The core's observation header names a member `emit`, which Qt defines as a macro: keep it
// out of the way whichever order a file includes Qt and this header in.
#pragma push_macro("emit")
#undef emit
#include "Sonavant/ui/CanvasPointerRouter.h"
#include "Sonavant/ui/KeyRepeatGate.h"
#include "platform/Observable.h"
#include "platform/UUID.h"
#pragma pop_macro("emit")

#include <QWidget>

#include "Sonavant/ui/CanvasEasing.h"
#include "Sonavant/ui/SoundscapeMarkerLog.h"

#include <functional>
#include <memory>
#include <vector>

class CanvasItemSprites;
class CanvasLayer;
class CanvasPaintKey;
class QTimer;
class SoundObject;
struct Speaker;
class PathCueLayers;
class ContentView;
class QPainter;

class CanvasWidget : public QWidget {
    Q_OBJECT

public:
    explicit CanvasWidget(ContentView& view, QWidget* parent = nullptr);
    ~CanvasWidget() override;

    ContentView& view() const { return view_; }
    CanvasPointerRouter& router() { return router_; }

    void addLayer(CanvasLayer* layer);
    void removeLayer(CanvasLayer* layer);

    // The whole stack into any painter, in canvas points (the widget's paint and offscreen
    // images use it).
    void paintCanvas(QPainter& painter, QSizeF size);
    // Forgets every kept picture (its own and its layers'): the next paint draws everything.
    void clearCaches();
    // The clock item moves and fades run on, in seconds; the monotonic clock unless set.
    void setClock(std::function<double()> clock);
    // A move or a fade is under way: the canvas keeps repainting until it is done.
    bool isAnimating() const;

    QSize sizeHint() const override { return {1000, 700}; }

signals:
    // Sent at the start of the canvas's destruction, while it is still whole: layers that
    // live outside it leave the stack here (by QObject::destroyed it is only a QWidget).
    void goingAway();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void observeShow();
    void observeSources();
    void repaintLater();
    void route(QMouseEvent* event, int kind);

    struct Drawn;
    struct Pictures;
    void paintGround(QPainter& painter, QSizeF size);
    void paintSoundscapeSpeakers(QPainter& painter);
    void paintRubberBand(QPainter& painter);
    void paintRangeCircle(QPainter& painter, QPointF centre);
    void paintOffCanvasMarkers(QPainter& painter, QSizeF size);
    void paintSpeaker(QPainter& painter, const Speaker& speaker, bool selected, QPointF at, QSizeF size);
    void paintSoundObject(QPainter& painter, const SoundObject& source, bool selected, QPointF at);
    void paintDrawingHint(QPainter& painter, QSizeF size, double now);
    void paintEditBanner(QPainter& painter, QSizeF size);
    void paintOrientationIndicator(QPainter& painter, QSizeF size);

    ContentView& view_;
    CanvasPointerRouter router_;
    KeyRepeatGate arrowKeys_;
    std::vector<CanvasLayer*> layers_;
    std::unique_ptr<CanvasItemSprites> sprites_;
    std::unique_ptr<Pictures> pictures_;
    std::function<double()> clock_;
    ItemMoveEasing easing_;
    OpacityFade hintFade_;
    double lastPaint_ = 0;
    QTimer* frameTimer_ = nullptr;
    bool appeared_ = false;
    platform::SubscriptionBag showObservers_;
    platform::SubscriptionBag sourceObservers_;
    SoundscapeMarkerLog markerLog_;
    // The path drawing and path-cue layers every canvas carries; last, so it leaves the
    // stack while the stack is still there.
    std::unique_ptr<PathCueLayers> pathLayers_;
};
