#pragma once
// The RGB of each named colour, as the windows draw it on the dark palette.

#include "Sonavant/model/NamedColor.h"

#include <QColor>

QColor qtColor(NamedColor colour, double opacity = 1.0);
