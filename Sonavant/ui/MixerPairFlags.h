#pragma once
// Mute and freeze flags of one source on one loudspeaker. A pair is never both: switching one
// on switches the other off.

#include "Sonavant/model/AppState.h"

#include <cstdint>

bool pairFlag(const PerSourcePerSpeaker<bool>& flags, const platform::UUID& source, std::int64_t speaker);

// Turns the pair's flag in `flags` over and returns its new state; turning it on first clears
// the pair's flag in `other`. Absent entries count as false; inner tables are made as needed.
bool togglePairFlag(PerSourcePerSpeaker<bool>& flags, PerSourcePerSpeaker<bool>& other,
                    const platform::UUID& source, std::int64_t speaker);
