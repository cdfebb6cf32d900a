#pragma once
// Which DS100 loudspeaker markers are built anew, and so write their console entry: a marker
// is built when its loudspeaker first shows, when it turns, and whenever the canvas's
// orientation changes (every marker then), not at every repaint.

#include "Sonavant/ui/CanvasMarkerGeometry.h"

#include <map>
#include <string>
#include <vector>

class SoundscapeMarkerLog {
public:
    // The console entries of the markers built for this picture of `speakers`.
    std::vector<std::string> entries(const std::vector<SoundscapeSpeaker>& speakers,
                                     CanvasOrientation orientation, double zoom, Point zeroPoint);

private:
    struct Built {
        double rotation;
        CanvasOrientation orientation;
    };
    std::map<std::string, Built> built_; // by loudspeaker id
};
