#pragma once
// The groups window's operations on the show's groups and the canvas selection. None records
// an undo state or saves: groups travel with the rest of the show.

#include "Sonavant/model/ObjectGroup.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

struct GroupRules {
    enum class Members { none, speakers, soundObjects, both };

    // "Group " + (count + 1): names can repeat after a deletion.
    static std::string newName(const std::vector<ObjectGroup>& groups);
    static std::set<std::string> keysOf(const ObjectGroup& group);
    static Members members(const ObjectGroup& group);

    // Appends a group of the selected loudspeakers and sources and narrows the selection to
    // exactly those; nothing when neither is selected. True when a group was added.
    static bool addFromSelection(std::vector<ObjectGroup>& groups, std::set<std::string>& selection);
    // Removes the group and empties the selection.
    static void remove(std::vector<ObjectGroup>& groups, std::set<std::string>& selection,
                       const platform::UUID& group);
    // Sets the group's members from the selection; a selection without members removes it.
    static void updateFromSelection(std::vector<ObjectGroup>& groups, const std::set<std::string>& selection,
                                    const platform::UUID& group);

    static const ObjectGroup* find(const std::vector<ObjectGroup>& groups,
                                   const std::optional<platform::UUID>& id);
};
