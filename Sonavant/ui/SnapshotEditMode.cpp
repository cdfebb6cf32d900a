#include "Sonavant/ui/SnapshotEditMode.h"

void SnapshotEditMode::tapRow(const platform::UUID& row) {
    if (!editing)
        selected = row;
}

void SnapshotEditMode::pencil(const platform::UUID& row) {
    if (editing == row) {
        editing.reset();
        selected = row;
        return;
    }
    editing = row;
    focused = row;
}

void SnapshotEditMode::returnPressed(const platform::UUID& row) {
    if (editing == row)
        editing.reset();
}

void SnapshotEditMode::focusChanged(const std::optional<platform::UUID>& to) {
    focused = to;
    if (editing && to != editing)
        editing.reset();
}

void SnapshotEditMode::tapEmptyArea(bool editedStillExists) {
    if (editing && editedStillExists)
        editing.reset();
}
