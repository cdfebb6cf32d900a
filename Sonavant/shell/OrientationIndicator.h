#pragma once
// A 40 x 40 round badge whose north arrow turns with the canvas orientation.

#include "Sonavant/model/CanvasOrientation.h"

#include <QWidget>

class OrientationIndicator : public QWidget {
public:
    explicit OrientationIndicator(QWidget* parent = nullptr);
    void setOrientation(CanvasOrientation orientation);
    CanvasOrientation orientation() const { return orientation_; }
    // Radians, clockwise on screen.
    static double angle(CanvasOrientation orientation);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    CanvasOrientation orientation_ = CanvasOrientation::top;
};
