#include "Sonavant/engine/SelectionKeys.h"

#include "Sonavant/engine/CanvasSelectionKey.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr std::string_view pathNodePrefix = pathNodeKeyPrefix;

std::optional<std::int64_t> decimal(std::string_view text) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.front() == '+')
        return std::nullopt;
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::string SelectionKeys::speaker(std::int64_t id) {
    return speakerKey(id);
}

std::string SelectionKeys::soundObject(const platform::UUID& id) {
    return soundObjectKey(id);
}

std::optional<std::int64_t> SelectionKeys::speakerID(std::string_view key) {
    return speakerIDFromKey(key);
}

std::optional<platform::UUID> SelectionKeys::soundObjectID(std::string_view key) {
    return soundObjectIDFromKey(key);
}

std::map<std::string, std::vector<std::int64_t>> SelectionKeys::pathNodes(const std::set<std::string>& keys) {
    std::map<std::string, std::vector<std::int64_t>> nodes;
    for (const auto& key : keys) {
        if (!std::string_view(key).starts_with(pathNodePrefix))
            continue;
        std::vector<std::string_view> pieces;
        std::string_view rest(key);
        while (!rest.empty()) {
            auto colon = rest.find(':');
            auto piece = rest.substr(0, colon);
            if (!piece.empty())
                pieces.push_back(piece);
            if (colon == std::string_view::npos)
                break;
            rest.remove_prefix(colon + 1);
        }
        if (pieces.size() != 3)
            continue;
        auto index = decimal(pieces[2]);
        if (!index || *index < 0)
            continue;
        nodes[std::string(pieces[1])].push_back(*index);
    }
    // "1" and "+1" name the same node: removing it twice would take its neighbour too.
    for (auto& [cue, indices] : nodes) {
        std::sort(indices.begin(), indices.end(), std::greater<>());
        indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    }
    return nodes;
}

std::vector<std::int64_t> SelectionKeys::speakerIDs(const std::set<std::string>& keys) {
    std::vector<std::int64_t> ids;
    for (const auto& key : keys)
        if (auto id = speakerID(key))
            ids.push_back(*id);
    return ids;
}

std::vector<platform::UUID> SelectionKeys::soundObjectIDs(const std::set<std::string>& keys) {
    std::vector<platform::UUID> ids;
    for (const auto& key : keys)
        if (auto id = soundObjectID(key))
            ids.push_back(*id);
    return ids;
}

std::set<std::string> SelectionKeys::keysOf(const std::vector<std::int64_t>& speakerIDs,
                                            const std::vector<platform::UUID>& soundObjectIDs) {
    std::set<std::string> keys;
    for (auto id : speakerIDs)
        keys.insert(speaker(id));
    for (const auto& id : soundObjectIDs)
        keys.insert(soundObject(id));
    return keys;
}
