#pragma once
// Premultiplied ARGB arithmetic for the canvas's own pixel loops, two channels at a time.

#include <QtGlobal>

namespace pixelblend {

// Every channel of `pixel` times `alpha` / 255, rounded.
inline quint32 scaled(quint32 pixel, quint32 alpha) {
    quint32 rb = (pixel & 0x00ff00ff) * alpha;
    rb = ((rb + ((rb >> 8) & 0x00ff00ff) + 0x00800080) >> 8) & 0x00ff00ff;
    quint32 ag = ((pixel >> 8) & 0x00ff00ff) * alpha;
    ag = (ag + ((ag >> 8) & 0x00ff00ff) + 0x00800080) & 0xff00ff00;
    return ag | rb;
}

// `source` (premultiplied) over `target`.
inline quint32 over(quint32 source, quint32 target) {
    return source + scaled(target, 255 - (source >> 24));
}

} // namespace pixelblend
