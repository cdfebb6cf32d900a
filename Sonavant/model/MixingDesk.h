#pragma once
// One desk definition: the desk's channel kinds, their counts and colour names, the
// address templates and value ranges of each kind of send, transport and port. Read from the
// shipped desk-definitions file and saved with a show as its selected desk.

#include "platform/Coding.h"
#include "platform/UUID.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Lower and upper bound as decimal texts, e.g. {"-90", "10"}.
using DeskRangeTexts = std::vector<std::string>;

struct MixingDesk {
    // In stored order, which is also the order equality compares in.
    platform::UUID id = platform::UUID::random();
    std::string brand;
    std::string name;
    std::string displayName;
    std::int64_t defaultPort = 0;
    bool OSCFloat = false;
    std::int64_t inputsNum = 0;
    std::string inputColour;
    std::string inputName;
    std::optional<bool> mixEnabled;
    std::optional<bool> mixSendEnabled;
    std::optional<std::string> mixName;
    std::optional<std::int64_t> mixNum;
    std::optional<std::string> mixColour;
    std::optional<std::string> mixOSCLevel;
    std::optional<DeskRangeTexts> mixOSCLevelRange;
    std::optional<std::string> mixOSCMute;
    std::optional<std::string> mixOSCUnMute;
    std::optional<std::string> mixOSCSend;
    std::optional<DeskRangeTexts> mixOSCSendRange;
    std::optional<std::string> mixOSCSendToMtx;
    std::optional<DeskRangeTexts> mixOSCSendToMtxRange;
    std::optional<bool> mixToMix;
    std::optional<bool> cueModeEnabled;
    std::optional<std::string> cueName;
    std::optional<std::string> cueColour;
    std::optional<std::string> cueOSC;
    std::optional<DeskRangeTexts> cueRange;
    std::optional<bool> groupEnabled;
    std::optional<std::string> groupName;
    std::optional<std::int64_t> groupNum;
    std::optional<std::string> groupColour;
    std::optional<std::string> groupOSCLevel;
    std::optional<DeskRangeTexts> groupOSCLevelRange;
    std::optional<std::string> groupOSCMute;
    std::optional<std::string> groupOSCUnMute;
    std::optional<std::string> groupOSCSendOn;
    std::optional<std::string> groupOSCSendOff;
    std::optional<std::string> groupOSCSendToMix;
    std::optional<DeskRangeTexts> groupOSCSendToMixRange;
    std::optional<std::string> groupOSCSendToMtx;
    std::optional<DeskRangeTexts> groupOSCSendToMtxRange;
    std::optional<bool> mtxEnabled;
    std::optional<std::string> mtxName;
    std::optional<std::int64_t> mtxNum;
    std::optional<std::string> mtxColour;
    std::optional<std::string> mtxOSCLevel;
    std::optional<DeskRangeTexts> mtxOSCLevelRange;
    std::optional<std::string> mtxOSCMute;
    std::optional<std::string> mtxOSCUnMute;
    std::optional<std::string> mtxOSCSend;
    std::optional<DeskRangeTexts> mtxOSCSendRange;
    std::optional<std::string> positionOSC;
    std::optional<bool> inputToMtx;
    bool UDP = true;

    bool operator==(const MixingDesk&) const = default;

    // All 55 keys in the order the record writes them.
    static const std::vector<std::string>& encodingKeyOrder();
    // The keys this desk writes (required ones and the optional ones it holds), in that order.
    std::vector<std::string> encodedKeys() const;

    platform::Value encode() const;
    // Reads `id` (a fresh one when absent), then the required keys in a fixed order, then
    // the optional ones; the first missing or mistyped key fails.
    static MixingDesk decode(const platform::Value& value, const std::string& path);

    // The kinds the property sheets offer, in picker order.
    std::vector<std::string> offeredSpeakerTypes() const;
    std::vector<std::string> offeredSourceTypes() const;
};

// How many channels of a loudspeaker kind the desk offers. Matrix, then mix, then group
// names are compared; the first equal name answers, with 0 when its count is absent.
std::int64_t channelCount(const std::string& forSpeakerType, const MixingDesk& desk);
