#pragma once
// The groups window's highlight and rename state, and how clicks, the pencil, commits and
// canvas selection changes move it. A rename commit only ends the edit: the name field has
// stored the name already, and a commit never resets the group's members from the canvas.

#include "Sonavant/model/ObjectGroup.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

struct GroupsViewState {
    std::optional<platform::UUID> highlighted; // the selected group
    std::optional<platform::UUID> editing;     // the group being renamed
    std::optional<platform::UUID> focused;

    // A row click: highlights the group and gives back the selection to put on the canvas;
    // nothing while a name is being edited.
    std::optional<std::set<std::string>> clickRow(const ObjectGroup& group);
    void pencil(const platform::UUID& group);
    void returnPressed(const platform::UUID& group);
    void focusChanged(const std::optional<platform::UUID>& to);
    // Commits a rename of a group that still exists, else clears the highlight.
    void clickBackground(const std::vector<ObjectGroup>& groups);
    // The canvas selection changed: the highlight stays while the selection lies inside it.
    void selectionChanged(const std::vector<ObjectGroup>& groups, const std::set<std::string>& selection);
    // The group Delete acts on, if the highlight names one.
    std::optional<platform::UUID> groupToDelete(const std::vector<ObjectGroup>& groups) const;
    bool deleteEnabled() const { return highlighted.has_value(); }
};
