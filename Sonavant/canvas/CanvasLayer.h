#pragma once
// A layer that plugs into the canvas later: backdrop and floor plan, grid, audience areas
// and their editor, path cues and path drawing. It paints itself with the canvas's painter
// in canvas points and, when it takes pointer events, hands its Qt-free pointer layer to the
// canvas, which routes the events through CanvasPointerRouter. See CanvasWidget.h.

#include "Sonavant/ui/CanvasLayerSlot.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

class ContentView;
class QSizeF;
class CanvasPointerLayer;
class QPainter;

// Everything a layer's picture depends on, as bytes: while the key of every layer under the
// moving items stays the same, the canvas copies their picture instead of painting them.
class CanvasPaintKey {
public:
    CanvasPaintKey& operator<<(double value) { return raw(&value, sizeof value); }
    CanvasPaintKey& operator<<(std::int64_t value) { return raw(&value, sizeof value); }
    CanvasPaintKey& operator<<(bool value) { return *this << std::int64_t(value); }
    CanvasPaintKey& operator<<(std::string_view text) {
        *this << std::int64_t(text.size());
        bytes_.append(text);
        return *this;
    }
    bool operator==(const CanvasPaintKey&) const = default;
    void clear() { bytes_.clear(); }

private:
    CanvasPaintKey& raw(const void* value, std::size_t size) {
        bytes_.append(static_cast<const char*>(value), size);
        return *this;
    }
    std::string bytes_;
};

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
    // Appends everything the layer's picture depends on besides the canvas size; false when
    // it cannot tell, and the layers around it are then painted afresh every time.
    virtual bool paintKey(const ContentView&, CanvasPaintKey&) const { return false; }
    // Drops the pictures the layer keeps of itself.
    virtual void clearCaches() {}
};
