#pragma once
// The mixer's symbols, drawn with painter paths: the freeze snowflake and the stepping arrows.

#include <QColor>
#include <QIcon>

enum class MixerSymbol { snowflake, arrowLeft, arrowRight };

QIcon mixerSymbol(MixerSymbol symbol, const QColor& colour);
