#include "Sonavant/ui/TopBarRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace topbar {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

std::string deskMenuTitle(const std::optional<MixingDesk>& desk) {
    return desk ? desk->displayName : std::string(noDeskTitle);
}

bool isSoundScapeDesk(const std::optional<MixingDesk>& desk) {
    return desk && desk->displayName == soundScapeDisplayName;
}

std::string outputSwitchTitle(bool on) {
    return on ? "OSC: On" : "OSC: Off";
}

StepRange minLevelRange(int minLevel, int maxLevel) {
    (void)minLevel;
    return {0, std::max(0.0, double(maxLevel) - 1)};
}

StepRange maxLevelRange(int minLevel, int maxLevel) {
    (void)maxLevel;
    return {std::min(100.0, double(minLevel) + 1), 100};
}

double stepped(double value, int direction, double step, StepRange range) {
    const double next = value + (direction > 0 ? step : -step);
    return std::clamp(next, range.lower, range.upper);
}

bool canStep(double value, int direction, StepRange range) {
    return direction > 0 ? value < range.upper : value > range.lower;
}

std::optional<double> typedZoom(const std::string& text) {
    const std::string t = trimmed(text);
    if (t.empty())
        return std::nullopt;
    double value = 0;
    const char* end = t.data() + t.size();
    auto [ptr, ec] = std::from_chars(t.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value) || value <= 0)
        return std::nullopt;
    return value;
}

std::optional<int> typedLevel(const std::string& text) {
    std::string t = trimmed(text);
    if (!t.empty() && t.front() == '+')
        t.erase(0, 1);
    if (t.empty())
        return std::nullopt;
    int value = 0;
    const char* end = t.data() + t.size();
    auto [ptr, ec] = std::from_chars(t.data(), end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::string zoomText(double zoom) {
    if (!std::isfinite(zoom))
        return "0";
    const double rounded = std::round(zoom);
    if (std::fabs(rounded) > double(std::numeric_limits<long long>::max() / 2))
        return "0";
    return std::to_string(static_cast<long long>(rounded));
}

} // namespace topbar
