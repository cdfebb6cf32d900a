#pragma once
// A layer drawn once into an image of the canvas's size and copied on later repaints while
// what it shows stays the same: a drag repaints the canvas many times a second, but moves
// neither the grid nor the floor plan.

#include <QImage>
#include <QPainter>
#include <QSizeF>

#include <functional>
#include <vector>

class CachedLayerImage {
public:
    // Paints through `draw` (canvas points, onto a transparent image) only when `key`, the
    // canvas size or the device's pixel ratio changed since the last paint; then copies.
    void paint(QPainter& painter, const QSizeF& canvasSize, std::vector<double> key,
               const std::function<void(QPainter&)>& draw);
    void clear() { image_ = QImage(); }

private:
    std::vector<double> key_;
    QImage image_;
};
