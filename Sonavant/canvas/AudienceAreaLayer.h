#pragma once
// The audience areas on the canvas and their editor. Outside edit mode the outlines, fills
// and names lie in the areas' slot under the items, and a click on an area does nothing; in
// edit mode the areas and the edited area's node handles are drawn above the items, presses
// reach the editor before the items, and the name and colour panel floats beside the area's
// lowest node. Construct it after the canvas: it plugs itself in,
// and out when dropped while the canvas still lives (dropping it after is harmless too).

#include "Sonavant/canvas/CanvasLayer.h"

#include <QObject>
#include <QPointer>

#include <memory>

class AudienceAreaEditPanel;
class AudienceAreaPointerLayer;
class CanvasWidget;

class AudienceAreaLayer : public QObject, public CanvasLayer {
    Q_OBJECT
public:
    explicit AudienceAreaLayer(CanvasWidget& canvas);
    ~AudienceAreaLayer() override;

    CanvasLayerSlot slot() const override { return CanvasLayerSlot::audienceAreas; }
    double zIndex(const ContentView& view) const override;
    bool isShown(const ContentView& view) const override;
    void paint(QPainter& painter, const ContentView& view, const QSizeF& canvasSize) override;
    CanvasPointerLayer* pointerLayer() override;
    bool paintKey(const ContentView& view, CanvasPaintKey& key) const override;

    // The panel, while an area is being edited; null otherwise.
    AudienceAreaEditPanel* editPanel() const;

private:
    class Handles;
    void syncPanelLater();
    void syncPanel();

    QPointer<CanvasWidget> canvas_; // null once the canvas is gone
    ContentView& view_;
    std::unique_ptr<AudienceAreaPointerLayer> pointer_;
    std::unique_ptr<Handles> handles_;
    QPointer<AudienceAreaEditPanel> panel_;
    bool syncQueued_ = false;
    struct Observers;
    std::unique_ptr<Observers> observers_;
};
