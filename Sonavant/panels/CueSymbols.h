#pragma once
// The cue sidebar's symbols, drawn by us with painter paths: the sidebar toggle (a frame
// with an arrow pointing out or in), the mixer sliders, the audience-area viewfinder, the
// four cue commands and the row marks for looping and chaining.

#include <QColor>
#include <QIcon>

enum class CueSymbol {
    sidebarExpanded,  // frame, arrow forward
    sidebarCollapsed, // frame, arrow backward
    mixer,
    audienceArea,
    drawPath, // a pencil tip in a circle
    play,
    stop,
    trash,
    repeat,        // the row of a looping cue
    arrowDown,     // starts the next cue at once
    arrowTurnDown, // starts the next cue when a pass ends
};

QIcon cueSymbol(CueSymbol symbol, const QColor& colour = Qt::white);
