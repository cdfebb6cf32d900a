#pragma once
// The DS100 project import: loudspeaker positions from the `Cabinets` table, inputs from the
// `MatrixInputs` table of a ".dbpr" file (an SQLite database). The file is opened read-only
// and immutable: an import never creates, locks, rolls back or changes it.

#include "Sonavant/model/DBPRImportError.h"
#include "Sonavant/model/SoundscapeSpeaker.h"

#include <filesystem>
#include <functional>
#include <vector>

class AppState;

// Returns the loudspeakers in row order; throws DBPRImportError. Main thread only. The
// imported inputs replace the show's sources in tasks queued on the main queue, which run
// after the caller returns: output off and sources emptied, the sources appended (in one
// assignment), output back as it was and then `getPositionsFromDS100` (the "Get Positions
// from DS100" action), when given. With no desk selected, or no `MatrixInputs` table, the
// sources stay as they are. A position beyond the float range, a name holding a character
// no show file can hold, or a file that takes more work than any project needs is refused
// as damaged (names that are not UTF-8 are repaired).
std::vector<SoundscapeSpeaker> importDBPR(const std::filesystem::path& file, AppState& appState, double zoom,
                                          double zeroX, double zeroY,
                                          std::function<void()> getPositionsFromDS100 = {});
