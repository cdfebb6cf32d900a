#pragma once
// The three sections of the settings window, in sidebar order; the raw value is the
// sidebar's label.

#include <array>
#include <optional>
#include <string_view>

enum class SettingsSection { general, network, background };

inline constexpr std::array<SettingsSection, 3> allSettingsSections{
    SettingsSection::general, SettingsSection::network, SettingsSection::background};

std::string_view rawValue(SettingsSection section);
// Exact; any other text gives none.
std::optional<SettingsSection> settingsSectionFromRawValue(std::string_view raw);
