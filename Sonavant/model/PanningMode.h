#pragma once
// The curve that shapes a source's share on a loudspeaker.

#include "platform/Coding.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

enum class PanningMode { linear, sine, cosine, power, constantPower };

inline constexpr std::array<PanningMode, 5> allPanningModes{PanningMode::linear, PanningMode::sine,
                                                            PanningMode::cosine, PanningMode::power,
                                                            PanningMode::constantPower};

std::string_view rawValue(PanningMode mode);
// Exact, case-sensitive.
std::optional<PanningMode> panningModeFromRawValue(std::string_view raw);

template <> struct platform::Coder<PanningMode> {
    static Value encode(PanningMode v);
    static PanningMode decode(const Value& v, const std::string& path);
};
