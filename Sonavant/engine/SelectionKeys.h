#pragma once
// Sets of canvas selection keys (CanvasSelectionKey.h builds and reads one key): the members
// they name, and the path nodes they name per cue, in the order those can be removed in.

#include "platform/UUID.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct SelectionKeys {
    static std::string speaker(std::int64_t id);
    static std::string soundObject(const platform::UUID& id);

    static std::optional<std::int64_t> speakerID(std::string_view key);
    static std::optional<platform::UUID> soundObjectID(std::string_view key);

    // Node indices per cue id text, each index once, largest first (the order they can be
    // removed in without moving the others). Negative indices name no node and are dropped.
    static std::map<std::string, std::vector<std::int64_t>> pathNodes(const std::set<std::string>& keys);

    // In the set's order; keys that do not parse are skipped.
    static std::vector<std::int64_t> speakerIDs(const std::set<std::string>& keys);
    static std::vector<platform::UUID> soundObjectIDs(const std::set<std::string>& keys);

    // The keys of these members, as a set.
    static std::set<std::string> keysOf(const std::vector<std::int64_t>& speakerIDs,
                                        const std::vector<platform::UUID>& soundObjectIDs);
};
