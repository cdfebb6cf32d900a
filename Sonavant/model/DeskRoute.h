#pragma once
// Which desk message carries the level of one source on one loudspeaker, and in what value
// range. The level engine and the mixer window choose by the same table; they differ only
// where `DeskRouteCaller` says.

#include "Sonavant/model/MixingDesk.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The row of the table that decided, by source kind and loudspeaker kind.
enum class DeskRouteRow { mixToMatrix, mixToMix, inputToMix, inputToMatrix, cueToMix, unsupported };

enum class DeskRouteCaller {
    // Has the cue row; an absent template becomes "/no/OSC/Value/Set"; a range that does not
    // read as two numbers sends nothing; numbers are lowered by 1 for desks reached over TCP.
    levelEngine,
    // No cue row (a cue source falls to `unsupported`); an absent template gives the empty
    // address; a bad range reads as 0 to 100; numbers are never lowered.
    mixer
};

struct DeskRange {
    double lower = 0; // sent for silence
    double upper = 0; // sent for full level
    bool operator==(const DeskRange&) const = default;
};

struct DeskRoute {
    DeskRouteRow row = DeskRouteRow::unsupported;
    // Both set when a message goes out for the pair, neither when nothing is sent.
    std::optional<std::string> address;
    std::optional<DeskRange> range;
};

inline constexpr std::string_view noTemplateAddress = "/no/OSC/Value/Set";
inline constexpr std::string_view defaultPositionTemplate = "/dbaudio1/positioning/source_position_xy/{n}";

DeskRoute routeDeskSend(const MixingDesk& desk, const std::string& sourceType, std::int64_t sourceNumber,
                        const std::string& speakerType, std::int64_t channelNumber, DeskRouteCaller caller);

// routeDeskSend for one pair of kinds, decided once and filled in for many numbers; it
// refers to the desk's texts, so the desk must outlive it.
struct DeskSendPlan {
    DeskRouteRow row = DeskRouteRow::unsupported;
    std::optional<DeskRange> range; // set exactly when a message goes out
    std::optional<std::string_view> addressTemplate;
    std::string_view fixedAddress; // without a template
    bool countsFromZero = false;   // numbers lowered by 1

    // What routeDeskSend gives as the address for these numbers.
    std::string address(std::int64_t sourceNumber, std::int64_t channelNumber) const;
};
DeskSendPlan planDeskSend(const MixingDesk& desk, const std::string& sourceType,
                          const std::string& speakerType, DeskRouteCaller caller);

// Both bounds of a range of exactly two finite decimal texts, else none.
std::optional<DeskRange> parseDeskRange(const std::optional<DeskRangeTexts>& range);

// Every "{n}" becomes `n` and every "{m}" becomes `m`, in decimal.
std::string fillDeskTemplate(std::string_view addressTemplate, std::int64_t n, std::int64_t m);

// The SoundScape position address of a source: `positionOSC` or the DS100 default, with
// "{n}" replaced by the source number as it is.
std::string soundscapePositionAddress(const MixingDesk& desk, std::int64_t sourceNumber);
