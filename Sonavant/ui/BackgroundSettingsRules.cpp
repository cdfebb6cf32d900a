#include "Sonavant/ui/BackgroundSettingsRules.h"

#include "Sonavant/engine/BackgroundImageBookmark.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

std::string_view trimmed(std::string_view text) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// A plain decimal number, C locale: optional sign, digits, at most one point. No exponent,
// no "inf" or "nan", no grouping.
std::optional<double> parseDecimal(const std::string& input) {
    std::string_view text = trimmed(input);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::size_t digits = 0, points = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

// Whole degrees toward zero, without leaving the range a long long holds.
long long truncated(double value) {
    if (!std::isfinite(value))
        return 0;
    return static_cast<long long>(std::trunc(std::clamp(value, -1e15, 1e15)));
}

} // namespace

std::string BackgroundSettingsRules::rotationText(double rotation) {
    return std::to_string(truncated(rotation));
}

int BackgroundSettingsRules::rotationSliderPosition(double rotation) {
    if (!std::isfinite(rotation))
        return 0;
    return int(std::lround(std::clamp(rotation, minimumRotation, maximumRotation)));
}

BackgroundSettingsRules::RotationCommit BackgroundSettingsRules::commitRotation(const std::string& input,
                                                                                double currentRotation) {
    std::string_view text = input;
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const bool whole =
        !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!whole)
        return {std::nullopt, rotationText(currentRotation)};
    // Any run of digits is a number; past the range it clamps like any other.
    long long magnitude = 0;
    for (char c : text) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 1000)
            break;
    }
    const double clamped =
        std::clamp(double(negative ? -magnitude : magnitude), minimumRotation, maximumRotation);
    return {clamped, rotationText(clamped)};
}

std::string BackgroundSettingsRules::scaleText(double scale) {
    if (!std::isfinite(scale))
        return std::isnan(scale) ? "NaN" : (scale > 0 ? "+∞" : "-∞");
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, scale, std::chars_format::fixed, 2);
    if (ec != std::errc())
        return "";
    std::string text(buffer, end);
    return text == "-0.00" ? "0.00" : text;
}

std::optional<double> BackgroundSettingsRules::parseScale(const std::string& input) {
    auto value = parseDecimal(input);
    if (!value || !(*value > 0))
        return std::nullopt;
    return value;
}

double BackgroundSettingsRules::steppedScale(double scale, int steps) {
    if (!std::isfinite(scale))
        scale = 1.0;
    return std::clamp(scale + steps * scaleStep, minimumScale, std::numeric_limits<double>::max());
}

bool BackgroundSettingsRules::canStepScale(double scale, int steps) {
    if (steps == 0)
        return false;
    return steps > 0 ? !(scale >= std::numeric_limits<double>::max()) : !(scale <= minimumScale);
}

std::string BackgroundSettingsRules::offsetText(double offset) {
    if (!std::isfinite(offset))
        return "0";
    char buffer[400];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, std::nearbyint(offset), std::chars_format::fixed, 0);
    if (ec != std::errc())
        return "";
    std::string text(buffer, end);
    return text == "-0" ? "0" : text;
}

std::optional<double> BackgroundSettingsRules::parseOffset(const std::string& input) {
    return parseDecimal(input);
}

double BackgroundSettingsRules::steppedOffset(double offset, int steps) {
    const double next = offset + steps;
    return std::isfinite(next) ? next : offset;
}

const std::vector<std::string>& BackgroundSettingsRules::imageExtensions() {
    static const std::vector<std::string> extensions{"png", "jpg", "jpeg", "tiff", "bmp"};
    return extensions;
}

std::string BackgroundSettingsRules::imageURL(const std::filesystem::path& chosenFile) {
    std::error_code ec;
    auto absolute = std::filesystem::absolute(chosenFile, ec);
    return BackgroundImageBookmark::fileURL((ec ? chosenFile : absolute).lexically_normal().string());
}

std::optional<std::filesystem::path> BackgroundSettingsRules::imagePath(const std::string& storedURL) {
    auto path = BackgroundImageBookmark::filePath(storedURL);
    if (!path)
        return std::nullopt;
    return std::filesystem::path(*path);
}
