#pragma once
// Where a loudspeaker's overlay lies on the canvas: the coverage cone, the dotted focus line
// with its arrow head, and the focus handle a selected loudspeaker is turned by. Canvas
// points, y down; angles in radians, 0 to the right, growing clockwise on screen. Pure.

#include "Sonavant/model/CanvasOrientation.h"
#include "Sonavant/model/Geometry.h"
#include "Sonavant/model/Speaker.h"

struct SpeakerOverlayGeometry {
    static constexpr double coverageRadius = 300.0; // fixed; does not follow the zoom
    static constexpr double arrowSize = 12.0;
    static constexpr double arrowOffset = 15.0;
    static constexpr double handleDiameter = 12.0;
    static constexpr double handleMinimumDrag = 10.0;

    struct ArrowHead {
        Point tip, wing1, wing2;
    };
    struct Cone {
        Point centre;
        double radius = 0;
        double startAngle = 0; // radians; the wedge runs clockwise on screen from start to end
        double endAngle = 0;
    };

    // What is drawn for one loudspeaker under the display switches.
    bool showsCone = false;
    bool showsArrow = false;
    bool showsHandle = false;
    double direction = 0; // radians
    Cone cone;
    Point lineStart, lineEnd;
    ArrowHead arrow;
    Point handleCentre;

    static SpeakerOverlayGeometry of(const Speaker& speaker, bool isSelected, CanvasOrientation orientation,
                                     bool showArrow, bool showCoverage, double radius = coverageRadius);

    // 90 degrees plus the canvas's own turn: the screen angle of focus 0.
    static double orientationOffsetDegrees(CanvasOrientation orientation);
    static double directionRadians(CanvasOrientation orientation, double focus);
    static ArrowHead arrowHead(Point at, double angle, double size, double offset);
    static Point dottedLineEnd(Point from, double length, double angle);
    static Cone coverageCone(Point centre, double widthDegrees, double radius, double rotation);
    static Point focusHandleCentre(Point centre, double radius, double angle);
    // Turning by the handle: ContentView::speakerFocusDragged.
};
