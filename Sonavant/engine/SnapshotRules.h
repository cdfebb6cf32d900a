#pragma once
// Numbering, naming, field reading and row text of the snapshots window.

#include "Sonavant/model/Snapshot.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SnapshotRules {
    static constexpr double newRecallTime = 1.0;

    // The highest number plus one (1 for none). At the largest number there is no "plus
    // one": the lowest positive number not in use is taken instead.
    static std::int64_t nextNumber(const std::vector<Snapshot>& snapshots);
    // Counts the snapshots, so after deletions a name can repeat.
    static std::string newName(const std::vector<Snapshot>& snapshots);

    // The number field: a whole number of at least 1; anything else leaves the number alone.
    static std::optional<std::int64_t> readNumber(std::string_view text);
    // The recall-time field: any finite decimal number (0 or less recalls in one step).
    static std::optional<double> readRecallTime(std::string_view text);

    static std::string numberText(std::int64_t number);     // "%lld"
    static std::string recallTimeText(double seconds);      // "%.1f s"
    static std::string recallTimeFieldText(double seconds); // one fraction digit, no unit
    // "<number> | <name> | <time>", as a row reads.
    static std::string rowText(const Snapshot& snapshot);

    // Update, Delete and Recall need a selection (even one that names nothing any more).
    static bool selectionActionsEnabled(const std::optional<platform::UUID>& selected) {
        return selected.has_value();
    }
    // The snapshot a selection names, if it still exists.
    static const Snapshot* find(const std::vector<Snapshot>& snapshots,
                                const std::optional<platform::UUID>& id);
};
