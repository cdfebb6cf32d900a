#pragma once
// The room canvas: one widget over the main view (ContentView), painted with QPainter in
// layer order and hit-tested in reverse. Widget coordinates are canvas points. It holds no
// rules of its own: pointer events go as plain structs to CanvasPointerRouter, arrow keys to
// ArrowKeyMoveHandler, and the change handlers (first showing, resize, zoom, level
// settings) to ContentView; it paints what the show and the view hold.
//
// Layer stack, back to front (CanvasLayerSlot): 0 black base, 1 backdrop, 2 floor plan,
// 4 audience areas, 5 DS100 loudspeakers, 6-9 path drawing and path cues, 10 grid,
// 11 rubber band, 12 range circles, 13 edge markers, 14 loudspeakers with their overlay
// (cone, arrow head, dotted focus line, focus handle), 15 sources, 16 drawing hint (z 100),
// the edit banner (z 1000), and the orientation indicator at the top right. The path layers
// (6-9, PathCueLayers) come with every canvas.
//
// Plugging in a later layer (1, 2, 4, 6-10): implement CanvasLayer (paint in canvas points;
// slot(); zIndex() to lift itself above the items, as the area editor does in edit mode),
// and if it takes the pointer, a CanvasPointerLayer (Sonavant/ui, Qt-free, tested headless)
// returned by pointerLayer(). Then `canvas.addLayer(&layer)`: it is painted at its z-index
// among the built-in layers and asked for hits in the same order; a pointer layer that
// observes every event (path recording) sees each one beside the gesture's owner. The
// canvas does not own layers; remove one with removeLayer before it goes.
//
// The view must outlive the canvas. The object list (a panel) lies over the canvas's top-left
// corner as a sibling widget, above everything drawn here.

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

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CanvasItemSprites;
class CanvasLayer;
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

    void paintBase(QPainter& painter, QSizeF size);
    void paintSoundscapeSpeakers(QPainter& painter);
    void paintRubberBand(QPainter& painter);
    void paintRangeCircles(QPainter& painter);
    void paintOffCanvasMarkers(QPainter& painter, QSizeF size);
    void paintSpeakers(QPainter& painter);
    void paintSpeakerLayer(QPainter& painter);
    void paintSoundObjects(QPainter& painter);
    void paintDrawingHint(QPainter& painter, QSizeF size);
    void paintEditBanner(QPainter& painter, QSizeF size);
    void paintOrientationIndicator(QPainter& painter, QSizeF size);

    ContentView& view_;
    CanvasPointerRouter router_;
    KeyRepeatGate arrowKeys_;
    std::vector<CanvasLayer*> layers_;
    std::unique_ptr<CanvasItemSprites> sprites_;
    struct SpeakerLayerCache;
    std::unique_ptr<SpeakerLayerCache> speakerCache_;
    bool appeared_ = false;
    platform::SubscriptionBag showObservers_;
    platform::SubscriptionBag sourceObservers_;
    // DS100 markers built so far, by loudspeaker and orientation: each is logged once.
    std::map<std::string, std::pair<float, double>>
        soundscapeAngles_; // key: id + orientation; rotation, angle
    // The path drawing and path-cue layers every canvas carries; last, so it leaves the
    // stack while the stack is still there.
    std::unique_ptr<PathCueLayers> pathLayers_;
};
