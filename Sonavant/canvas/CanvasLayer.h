#pragma once
// A layer that plugs into the canvas later: backdrop and floor plan, grid, audience areas
// and their editor, path cues and path drawing. It paints itself with the canvas's painter
// in canvas points and, when it takes pointer events, hands its Qt-free pointer layer to the
// canvas, which routes the events through CanvasPointerRouter. See CanvasWidget.h.

#include "Sonavant/ui/CanvasLayerSlot.h"

class ContentView;
class QSizeF;
class CanvasPointerLayer;
class QPainter;

class CanvasLayer {
public:
    virtual ~CanvasLayer() = default;

    virtual CanvasLayerSlot slot() const = 0;
    // Where it is drawn in the stack; its slot unless it lifts itself (edit modes).
    virtual double zIndex(const ContentView&) const { return zIndexOf(slot()); }
    virtual bool isShown(const ContentView&) const { return true; }
    virtual void paint(QPainter& painter, const ContentView& view, const QSizeF& canvasSize) = 0;
    // The part that takes pointer events; none for a layer that ignores clicks.
    virtual CanvasPointerLayer* pointerLayer() { return nullptr; }
};
