#pragma once
// Where on the canvas the zero point sits: nine anchors, listed column by column.

#include "platform/Coding.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

enum class ZeroPointPosition {
    topLeft,
    centerLeft,
    bottomLeft,
    topCenter,
    center,
    bottomCenter,
    topRight,
    centerRight,
    bottomRight
};

inline constexpr std::array<ZeroPointPosition, 9> allZeroPointPositions{
    ZeroPointPosition::topLeft,   ZeroPointPosition::centerLeft,  ZeroPointPosition::bottomLeft,
    ZeroPointPosition::topCenter, ZeroPointPosition::center,      ZeroPointPosition::bottomCenter,
    ZeroPointPosition::topRight,  ZeroPointPosition::centerRight, ZeroPointPosition::bottomRight};

std::string_view rawValue(ZeroPointPosition position);
// Exact, case-sensitive.
std::optional<ZeroPointPosition> zeroPointPositionFromRawValue(std::string_view raw);

template <> struct platform::Coder<ZeroPointPosition> {
    static Value encode(ZeroPointPosition v);
    static ZeroPointPosition decode(const Value& v, const std::string& path);
};
