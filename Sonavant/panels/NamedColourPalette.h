#pragma once
// The RGB the panels draw each named colour with, tuned for the dark palette.

#include "Sonavant/model/NamedColor.h"

#include <QColor>

QColor namedColourPalette(NamedColor colour);
