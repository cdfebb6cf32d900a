#include "Sonavant/ui/SettingsSection.h"

std::string_view rawValue(SettingsSection section) {
    switch (section) {
    case SettingsSection::general:
        return "General";
    case SettingsSection::network:
        return "Network";
    case SettingsSection::background:
        return "Background";
    }
    return "General";
}

std::optional<SettingsSection> settingsSectionFromRawValue(std::string_view raw) {
    for (auto section : allSettingsSections)
        if (rawValue(section) == raw)
            return section;
    return std::nullopt;
}
