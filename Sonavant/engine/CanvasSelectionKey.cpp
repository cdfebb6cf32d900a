#include "Sonavant/engine/CanvasSelectionKey.h"

#include <charconv>

namespace {

std::string withoutEvery(std::string_view key, std::string_view prefix) {
    std::string rest(key);
    for (auto at = rest.find(prefix); at != std::string::npos; at = rest.find(prefix, at))
        rest.erase(at, prefix.size());
    return rest;
}

} // namespace

std::string soundObjectKey(const platform::UUID& id) {
    return std::string(soundObjectKeyPrefix) + id.string();
}

std::string speakerKey(std::int64_t id) {
    return std::string(speakerKeyPrefix) + std::to_string(id);
}

std::string pathNodeKey(const platform::UUID& cue, std::size_t index) {
    return std::string(pathNodeKeyPrefix) + cue.string() + ":" + std::to_string(index);
}

std::optional<platform::UUID> soundObjectIDFromKey(std::string_view key) {
    if (!key.starts_with(soundObjectKeyPrefix))
        return std::nullopt;
    return platform::UUID::parse(withoutEvery(key, soundObjectKeyPrefix));
}

std::optional<std::int64_t> speakerIDFromKey(std::string_view key) {
    if (key.starts_with(soundObjectKeyPrefix) || !key.starts_with(speakerKeyPrefix))
        return std::nullopt;
    const std::string rest = withoutEvery(key, speakerKeyPrefix);
    std::int64_t id = 0;
    const char* end = rest.data() + rest.size();
    // from_chars takes no leading '+' or blanks, as a strict decimal parse should.
    auto [ptr, error] = std::from_chars(rest.data(), end, id);
    if (rest.empty() || error != std::errc() || ptr != end)
        return std::nullopt;
    return id;
}
