#pragma once
// The symbols the windows show, drawn by us with painter paths in place of the original
// platform's symbol images: the application icon, the splash image, and the small icons the
// top bar, the sidebar column and the cue sidebar share.

#include <QColor>
#include <QIcon>
#include <QPen>
#include <QPixmap>

#include <functional>

class QPainter;

namespace symbols {

QPixmap appIcon(int size);
QPixmap splashImage(int size); // the "background" image of the splash
QIcon magnifyingGlass(QColor colour = Qt::white);
// An icon drawn at the usual sizes by `draw`, which paints into a square of the given side.
QIcon drawnIcon(const std::function<void(QPainter&, double)>& draw);
QPen roundPen(QColor colour, double width); // round caps and joins

QIcon sidebarToggle(QColor colour = Qt::white, bool forward = false); // a frame with an arrow
QIcon mixerSliders(QColor colour = Qt::white);                        // three horizontal sliders
QIcon audienceAreaEdit(QColor colour = Qt::white);                    // a person inside a viewfinder
QPixmap northArrowCircle(int size, QColor colour = Qt::white);

} // namespace symbols
