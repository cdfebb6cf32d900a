#pragma once
// How the mixer window's sends reach the level engine's record of what the desk holds.
// Each does nothing (and the first gives 0) once the main view is gone.

#include "platform/UUID.h"

#include <cstdint>
#include <functional>
#include <string>

struct MixerSendLink {
    // A level left for the desk: the pair's last sent value from now on. Gives its mark.
    std::function<std::uint64_t(const platform::UUID& source, std::int64_t speakerID,
                                const std::string& address, double value, double lower)>
        sent;
    // The send with that mark is still the pair's last.
    std::function<bool(const platform::UUID& source, std::int64_t speakerID, std::uint64_t mark)> isLast;
    // The pair was unmuted: one pass in which it counts as new.
    std::function<void(const platform::UUID& source, std::int64_t speakerID)> unmuted;
};
