#pragma once
// The mixer fader's arithmetic: which value range a row runs over, value and position along
// the track, the whole-number level a move records, and where a drag may start.

#include "Sonavant/model/DeskRoute.h"
#include "Sonavant/model/MixingDesk.h"

#include <optional>
#include <string>

namespace mixerfader {

inline constexpr double height = 30.0;        // points
inline constexpr double maximumWidth = 200.0; // points
inline constexpr double thumbDiameter = 17.0;
inline constexpr double thumbOutline = 4.0; // drawn centred on the thumb's edge
// The track stops this far from each edge, so the thumb at either end is drawn whole.
inline constexpr double trackInset = (thumbDiameter + thumbOutline) / 2;
inline constexpr DeskRange fallbackRange{0, 100};

} // namespace mixerfader

// The range of the row of a source kind on a loudspeaker kind: the range of the desk send
// that carries the pair (as the level engine reads it, so a fader shows the engine's levels
// on the same scale); for a pair that sends nothing, the desk's input-to-mix range; 0 to 100
// without a desk or a readable range. `lower` is the desk's silence value and sits at the
// left end even when it is the larger number.
DeskRange mixerFaderRange(const std::optional<MixingDesk>& desk, const std::string& sourceType,
                          const std::string& speakerType);

// The value at `x` points along a track `width` points long; outside the track the nearer
// end. A track without a width yet gives the left end.
double faderValueAt(double x, double width, const DeskRange& range);

// Where `value` sits along the track, kept on the track.
double faderPosition(double value, double width, const DeskRange& range);

// The level a fader move records and sends: truncated toward zero to a whole number, and kept
// inside the range (a fractional bound could otherwise truncate past it).
double faderLevel(double value, const DeskRange& range);

// True when (x, y) falls on the drawn thumb, outline included.
bool isOnFaderThumb(double x, double y, double value, double width, const DeskRange& range);
