#include "Sonavant/ui/MixerPairFlags.h"

bool pairFlag(const PerSourcePerSpeaker<bool>& flags, const platform::UUID& source, std::int64_t speaker) {
    auto row = flags.find(source);
    if (row == flags.end())
        return false;
    auto flag = row->second.find(speaker);
    return flag != row->second.end() && flag->second;
}

bool togglePairFlag(PerSourcePerSpeaker<bool>& flags, PerSourcePerSpeaker<bool>& other,
                    const platform::UUID& source, std::int64_t speaker) {
    const bool on = !pairFlag(flags, source, speaker);
    if (on)
        other[source][speaker] = false;
    flags[source][speaker] = on;
    return on;
}
