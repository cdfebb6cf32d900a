#include "Sonavant/ui/WindowFrame.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace windowframe {

std::optional<Frame> parse(const std::string& text) {
    std::vector<double> numbers;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && numbers.size() < 4) {
        const bool starts = (*p >= '0' && *p <= '9') || ((*p == '-' || *p == '.') && p + 1 < end);
        if (!starts) {
            ++p;
            continue;
        }
        double value = 0;
        auto [next, ec] = std::from_chars(p, end, value);
        if (ec != std::errc() || next == p) {
            ++p;
            continue;
        }
        numbers.push_back(value);
        p = next;
    }
    if (numbers.size() < 4)
        return std::nullopt;
    constexpr double limit = 1e6; // far beyond any screen
    for (double n : numbers)
        if (!std::isfinite(n) || std::fabs(n) > limit)
            return std::nullopt;
    Frame frame{int(std::lround(numbers[0])), int(std::lround(numbers[1])), int(std::lround(numbers[2])),
                int(std::lround(numbers[3]))};
    if (frame.width <= 0 || frame.height <= 0)
        return std::nullopt;
    return frame;
}

std::string format(const Frame& frame) {
    return "{{" + std::to_string(frame.x) + ", " + std::to_string(frame.y) + "}, {" +
           std::to_string(frame.width) + ", " + std::to_string(frame.height) + "}}";
}

} // namespace windowframe
