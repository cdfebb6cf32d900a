#include "Sonavant/ui/GroupsViewState.h"

#include "Sonavant/ui/GroupRules.h"

#include <algorithm>

std::optional<std::set<std::string>> GroupsViewState::clickRow(const ObjectGroup& group) {
    if (editing)
        return std::nullopt;
    highlighted = group.id;
    return GroupRules::keysOf(group);
}

void GroupsViewState::pencil(const platform::UUID& group) {
    editing = group;
    focused = group;
}

void GroupsViewState::returnPressed(const platform::UUID& group) {
    if (editing == group)
        editing.reset();
}

void GroupsViewState::focusChanged(const std::optional<platform::UUID>& to) {
    focused = to;
    if (editing && to != editing)
        editing.reset();
}

void GroupsViewState::clickBackground(const std::vector<ObjectGroup>& groups) {
    if (editing && GroupRules::find(groups, editing)) {
        editing.reset();
        return;
    }
    highlighted.reset();
}

void GroupsViewState::selectionChanged(const std::vector<ObjectGroup>& groups,
                                       const std::set<std::string>& selection) {
    if (selection.empty()) {
        highlighted.reset();
        return;
    }
    const ObjectGroup* group = GroupRules::find(groups, highlighted);
    if (!group)
        return;
    const auto keys = GroupRules::keysOf(*group);
    if (!std::includes(keys.begin(), keys.end(), selection.begin(), selection.end()))
        highlighted.reset();
}

std::optional<platform::UUID> GroupsViewState::groupToDelete(const std::vector<ObjectGroup>& groups) const {
    if (GroupRules::find(groups, highlighted))
        return highlighted;
    return std::nullopt;
}
