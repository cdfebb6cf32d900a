#pragma once
// Where the canvas's small markers go: items outside the visible canvas, the sources' range
// circles, and loudspeakers a DS100 reported. Pure.

#include "Sonavant/model/CanvasOrientation.h"
#include "Sonavant/model/Geometry.h"
#include "Sonavant/model/SoundscapeSpeaker.h"

#include <string>

struct CanvasMarkerGeometry {
    static constexpr double offCanvasMarkerDiameter = 12.0;
    static constexpr double offCanvasOutlineDiameter = 14.0;

    // The centre of the marker of an item at `item` on a canvas w x h: 6 points inside the
    // edge it crossed (beyond a corner only x is inset).
    static Point offCanvasMarkerPosition(Point item, double w, double h);

    // Across a source's range circle: 2 x (range x zoom + 15) points. A zoom that is not a
    // positive finite number counts as the default, as the projection does.
    static double rangeCircleDiameter(double range, double zoom);

    // A DS100-reported loudspeaker: its canvas centre, the icon's turn in degrees, and the
    // console entry written when its marker is built.
    struct SoundscapeMarker {
        Point position;
        double adjustedAngle = 0; // degrees
        std::string logEntry;
    };
    static SoundscapeMarker soundscapeSpeakerMarker(const SoundscapeSpeaker& speaker,
                                                    CanvasOrientation orientation, double zoom,
                                                    Point zeroPoint);
};
