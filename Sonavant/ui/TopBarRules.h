#pragma once
// What the top bar shows and what its controls may write: the desk menu's title, the
// SoundScape test, the output switch's title, and the stepper and typed-value rules of the
// zoom and level fields. The widget only calls these.

#include "Sonavant/model/MixingDesk.h"

#include <optional>
#include <string>

namespace topbar {

inline constexpr const char* noDeskTitle = "Select Mixing Desk";
inline constexpr const char* soundScapeDisplayName = "D&B Soundscape";

// The selected desk's display name, or "Select Mixing Desk".
std::string deskMenuTitle(const std::optional<MixingDesk>& desk);
// Exactly "D&B Soundscape" (case and blanks count).
bool isSoundScapeDesk(const std::optional<MixingDesk>& desk);
// "OSC: On" / "OSC: Off".
std::string outputSwitchTitle(bool on);

// An inclusive stepper range.
struct StepRange {
    double lower = 0;
    double upper = 0;
    bool operator==(const StepRange&) const = default;
};

inline constexpr StepRange zoomRange{5, 200};
inline constexpr double zoomStep = 5;

// The minimum's stepper runs from 0 to maxLevel - 1, the maximum's from minLevel + 1 to 100.
// Typed values may leave the two crossed; the ranges then shrink to one value at their
// fixed end rather than becoming empty, so each stepper stays usable.
StepRange minLevelRange(int minLevel, int maxLevel);
StepRange maxLevelRange(int minLevel, int maxLevel);

// One step up (+1) or down (-1): the value moves by `step` and is held inside `range`; a
// value already outside the range comes back to the nearer end.
double stepped(double value, int direction, double step, StepRange range);
bool canStep(double value, int direction, StepRange range);

// A typed zoom: any finite number above 0, written as typed (not held inside the stepper
// range). Anything else, 0 and negatives included, is refused: every canvas conversion
// divides by the zoom.
std::optional<double> typedZoom(const std::string& text);
// A typed level: a whole number, written as typed.
std::optional<int> typedLevel(const std::string& text);

// The zoom as its field shows it (whole numbers, as a default number formatter does).
std::string zoomText(double zoom);

} // namespace topbar
