#include "Sonavant/engine/SnapshotRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>

std::int64_t SnapshotRules::nextNumber(const std::vector<Snapshot>& snapshots) {
    if (snapshots.empty())
        return 1;
    std::int64_t highest = std::numeric_limits<std::int64_t>::min();
    for (const auto& s : snapshots)
        highest = std::max(highest, s.number);
    if (highest < std::numeric_limits<std::int64_t>::max())
        return highest + 1;
    std::set<std::int64_t> used;
    for (const auto& s : snapshots)
        used.insert(s.number);
    std::int64_t n = 1;
    while (used.count(n))
        ++n;
    return n;
}

std::string SnapshotRules::newName(const std::vector<Snapshot>& snapshots) {
    return "Snapshot " + std::to_string(snapshots.size() + 1);
}

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<std::int64_t> SnapshotRules::readNumber(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1)
        return std::nullopt;
    return value;
}

std::optional<double> SnapshotRules::readRecallTime(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string SnapshotRules::numberText(std::int64_t number) {
    return std::to_string(number);
}

std::string SnapshotRules::recallTimeText(double seconds) {
    return recallTimeFieldText(seconds) + " s";
}

// Whatever the process locale: a decimal point, one digit after it.
std::string SnapshotRules::recallTimeFieldText(double seconds) {
    char buffer[400];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 1);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

std::string SnapshotRules::rowText(const Snapshot& snapshot) {
    return numberText(snapshot.number) + " | " + snapshot.name + " | " + recallTimeText(snapshot.recallTime);
}

const Snapshot* SnapshotRules::find(const std::vector<Snapshot>& snapshots,
                                    const std::optional<platform::UUID>& id) {
    if (!id)
        return nullptr;
    auto it =
        std::find_if(snapshots.begin(), snapshots.end(), [&](const Snapshot& s) { return s.id == *id; });
    return it == snapshots.end() ? nullptr : &*it;
}
