#pragma once
// The small symbols of the tool row and the auxiliary windows, drawn with painter paths (no
// platform artwork is copied). Each is drawn for the size asked, in one colour.

#include <QColor>
#include <QIcon>
#include <QPixmap>

enum class Symbol {
    plus,
    trash,
    pencil,
    camera,
    circleArrows, // refresh from the current state
    uturnLeft,    // recall
    people,       // groups
    speaker,
    mic,
    listPanel, // the object list
    gear,
    // The settings pages' groups.
    network, // a globe
    eye,
    scope,  // cross hairs in a circle
    branch, // one line splitting in two, arrow heads at the ends
    sliders,
    photo,
};

// `size` in points; `ratio` is the screen's pixels per point, so labels stay sharp.
QPixmap symbolPixmap(Symbol symbol, int size, const QColor& colour, qreal ratio = 1.0);
QIcon symbolIcon(Symbol symbol, const QColor& colour, int size = 32);
