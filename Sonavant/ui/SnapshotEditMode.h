#pragma once
// Which snapshot row is being edited, and what taps, the pencil, Return and focus changes do
// to it and to the selection. A commit only ends the edit: the fields have written their
// values already, and a commit never re-captures the snapshot (that would overwrite its
// stored positions with the current ones).

#include "platform/UUID.h"

#include <optional>

struct SnapshotEditMode {
    std::optional<platform::UUID> editing;  // the row in edit mode
    std::optional<platform::UUID> focused;  // the row whose fields hold the focus
    std::optional<platform::UUID> selected; // the main view's selection (shared)

    void tapRow(const platform::UUID& row);
    void pencil(const platform::UUID& row);
    void returnPressed(const platform::UUID& row);
    // The fields' focus moved: to a row's fields, or away (none).
    void focusChanged(const std::optional<platform::UUID>& to);
    // `editedStillExists`: the edited row is still in the list.
    void tapEmptyArea(bool editedStillExists);
    // Delete clears the selection once it deleted something.
    void deleted() { selected.reset(); }

    bool isEditing(const platform::UUID& row) const { return editing == row; }
};
