#include "Sonavant/ui/GroupRules.h"

#include "Sonavant/engine/SelectionKeys.h"

#include <algorithm>

std::string GroupRules::newName(const std::vector<ObjectGroup>& groups) {
    return "Group " + std::to_string(groups.size() + 1);
}

std::set<std::string> GroupRules::keysOf(const ObjectGroup& group) {
    return SelectionKeys::keysOf(group.speakerIDs, group.soundObjectIDs);
}

GroupRules::Members GroupRules::members(const ObjectGroup& group) {
    const bool speakers = !group.speakerIDs.empty(), sources = !group.soundObjectIDs.empty();
    if (speakers && sources)
        return Members::both;
    if (speakers)
        return Members::speakers;
    return sources ? Members::soundObjects : Members::none;
}

bool GroupRules::addFromSelection(std::vector<ObjectGroup>& groups, std::set<std::string>& selection) {
    auto speakers = SelectionKeys::speakerIDs(selection);
    auto sources = SelectionKeys::soundObjectIDs(selection);
    if (speakers.empty() && sources.empty())
        return false;
    ObjectGroup group{.id = platform::UUID::random(),
                      .name = newName(groups),
                      .speakerIDs = std::move(speakers),
                      .soundObjectIDs = std::move(sources)};
    selection = keysOf(group);
    groups.push_back(std::move(group));
    return true;
}

void GroupRules::remove(std::vector<ObjectGroup>& groups, std::set<std::string>& selection,
                        const platform::UUID& group) {
    std::erase_if(groups, [&](const ObjectGroup& g) { return g.id == group; });
    selection.clear();
}

void GroupRules::updateFromSelection(std::vector<ObjectGroup>& groups, const std::set<std::string>& selection,
                                     const platform::UUID& group) {
    auto speakers = SelectionKeys::speakerIDs(selection);
    auto sources = SelectionKeys::soundObjectIDs(selection);
    if (speakers.empty() && sources.empty()) {
        std::erase_if(groups, [&](const ObjectGroup& g) { return g.id == group; });
        return;
    }
    auto it = std::find_if(groups.begin(), groups.end(), [&](const ObjectGroup& g) { return g.id == group; });
    if (it == groups.end())
        return;
    it->speakerIDs = std::move(speakers);
    it->soundObjectIDs = std::move(sources);
}

const ObjectGroup* GroupRules::find(const std::vector<ObjectGroup>& groups,
                                    const std::optional<platform::UUID>& id) {
    if (!id)
        return nullptr;
    auto it = std::find_if(groups.begin(), groups.end(), [&](const ObjectGroup& g) { return g.id == *id; });
    return it == groups.end() ? nullptr : &*it;
}
