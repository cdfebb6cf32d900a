#include "Sonavant/ui/MixerWindowFrame.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

std::string number(double v) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

// Reads a finite number after optional blanks; advances `text`.
std::optional<double> readNumber(std::string_view& text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || !std::isfinite(v))
        return std::nullopt;
    text.remove_prefix(std::size_t(end - text.data()));
    return v;
}

bool readLiteral(std::string_view& text, std::string_view literal) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    if (!text.starts_with(literal))
        return false;
    text.remove_prefix(literal.size());
    return true;
}

} // namespace

std::string MixerWindowFrame::text() const {
    return "{{" + number(x) + ", " + number(y) + "}, {" + number(w) + ", " + number(h) + "}}";
}

std::optional<MixerWindowFrame> MixerWindowFrame::parse(std::string_view text) {
    MixerWindowFrame f;
    std::optional<double> x, y, w, h;
    if (!readLiteral(text, "{{") || !(x = readNumber(text)) || !readLiteral(text, ",") ||
        !(y = readNumber(text)) || !readLiteral(text, "}") || !readLiteral(text, ",") ||
        !readLiteral(text, "{") || !(w = readNumber(text)) || !readLiteral(text, ",") ||
        !(h = readNumber(text)) || !readLiteral(text, "}}"))
        return std::nullopt;
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    if (!text.empty() || !(*w > 0) || !(*h > 0))
        return std::nullopt;
    f.x = *x;
    f.y = *y;
    f.w = *w;
    f.h = *h;
    return f;
}

MixerWindowFrame MixerWindowFrame::firstPlacement(double visibleX, double visibleY, double visibleWidth) {
    MixerWindowFrame f;
    f.x = visibleX + visibleWidth - width - rightInset;
    f.y = visibleY + topInset;
    return f;
}

MixerWindowFrame MixerWindowFrame::constrained(MixerWindowFrame frame) {
    frame.w = width;
    frame.h = std::max(frame.h, minHeight);
    return frame;
}
