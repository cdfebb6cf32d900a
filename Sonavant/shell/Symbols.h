#pragma once
// The symbols the windows show, drawn by us with painter paths: the application icon, the
// splash image, and the small icons of the top bar and the sidebar column.

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace symbols {

QPixmap appIcon(int size);
QPixmap splashImage(int size); // the "background" image of the splash
QIcon magnifyingGlass(QColor colour = Qt::white);
QIcon sidebarToggle(QColor colour = Qt::white);    // a frame with a backward arrow
QIcon mixerSliders(QColor colour = Qt::white);     // three horizontal sliders
QIcon audienceAreaEdit(QColor colour = Qt::white); // a person inside a viewfinder
QPixmap northArrowCircle(int size, QColor colour = Qt::white);

} // namespace symbols
