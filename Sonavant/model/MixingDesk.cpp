#include "Sonavant/model/MixingDesk.h"

#include <type_traits>

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::UUID;
using platform::Value;

namespace {

template <class T> struct IsOptional : std::false_type {};
template <class T> struct IsOptional<std::optional<T>> : std::true_type {};

// Every field with its key, in stored order. `Desk` is MixingDesk or const MixingDesk.
template <class Desk, class F> void forEachField(Desk& d, F&& f) {
    f("id", d.id);
    f("brand", d.brand);
    f("name", d.name);
    f("displayName", d.displayName);
    f("defaultPort", d.defaultPort);
    f("OSCFloat", d.OSCFloat);
    f("inputsNum", d.inputsNum);
    f("inputColour", d.inputColour);
    f("inputName", d.inputName);
    f("mixEnabled", d.mixEnabled);
    f("mixSendEnabled", d.mixSendEnabled);
    f("mixName", d.mixName);
    f("mixNum", d.mixNum);
    f("mixColour", d.mixColour);
    f("mixOSCLevel", d.mixOSCLevel);
    f("mixOSCLevelRange", d.mixOSCLevelRange);
    f("mixOSCMute", d.mixOSCMute);
    f("mixOSCUnMute", d.mixOSCUnMute);
    f("mixOSCSend", d.mixOSCSend);
    f("mixOSCSendRange", d.mixOSCSendRange);
    f("mixOSCSendToMtx", d.mixOSCSendToMtx);
    f("mixOSCSendToMtxRange", d.mixOSCSendToMtxRange);
    f("mixToMix", d.mixToMix);
    f("cueModeEnabled", d.cueModeEnabled);
    f("cueName", d.cueName);
    f("cueColour", d.cueColour);
    f("cueOSC", d.cueOSC);
    f("cueRange", d.cueRange);
    f("groupEnabled", d.groupEnabled);
    f("groupName", d.groupName);
    f("groupNum", d.groupNum);
    f("groupColour", d.groupColour);
    f("groupOSCLevel", d.groupOSCLevel);
    f("groupOSCLevelRange", d.groupOSCLevelRange);
    f("groupOSCMute", d.groupOSCMute);
    f("groupOSCUnMute", d.groupOSCUnMute);
    f("groupOSCSendOn", d.groupOSCSendOn);
    f("groupOSCSendOff", d.groupOSCSendOff);
    f("groupOSCSendToMix", d.groupOSCSendToMix);
    f("groupOSCSendToMixRange", d.groupOSCSendToMixRange);
    f("groupOSCSendToMtx", d.groupOSCSendToMtx);
    f("groupOSCSendToMtxRange", d.groupOSCSendToMtxRange);
    f("mtxEnabled", d.mtxEnabled);
    f("mtxName", d.mtxName);
    f("mtxNum", d.mtxNum);
    f("mtxColour", d.mtxColour);
    f("mtxOSCLevel", d.mtxOSCLevel);
    f("mtxOSCLevelRange", d.mtxOSCLevelRange);
    f("mtxOSCMute", d.mtxOSCMute);
    f("mtxOSCUnMute", d.mtxOSCUnMute);
    f("mtxOSCSend", d.mtxOSCSend);
    f("mtxOSCSendRange", d.mtxOSCSendRange);
    f("positionOSC", d.positionOSC);
    f("inputToMtx", d.inputToMtx);
    f("UDP", d.UDP);
}

// An absent kind name, or one that is empty text, is shown as the stand-in.
std::string kindOrStandIn(const std::optional<std::string>& kind, const char* standIn) {
    return kind && !kind->empty() ? *kind : std::string(standIn);
}

} // namespace

const std::vector<std::string>& MixingDesk::encodingKeyOrder() {
    // Stored order, except that the five cue keys come last.
    static const std::vector<std::string> keys{"id",
                                               "brand",
                                               "name",
                                               "displayName",
                                               "defaultPort",
                                               "OSCFloat",
                                               "inputsNum",
                                               "inputColour",
                                               "inputName",
                                               "mixEnabled",
                                               "mixSendEnabled",
                                               "mixName",
                                               "mixNum",
                                               "mixColour",
                                               "mixOSCLevel",
                                               "mixOSCLevelRange",
                                               "mixOSCMute",
                                               "mixOSCUnMute",
                                               "mixOSCSend",
                                               "mixOSCSendRange",
                                               "mixOSCSendToMtx",
                                               "mixOSCSendToMtxRange",
                                               "mixToMix",
                                               "groupEnabled",
                                               "groupName",
                                               "groupNum",
                                               "groupColour",
                                               "groupOSCLevel",
                                               "groupOSCLevelRange",
                                               "groupOSCMute",
                                               "groupOSCUnMute",
                                               "groupOSCSendOn",
                                               "groupOSCSendOff",
                                               "groupOSCSendToMix",
                                               "groupOSCSendToMixRange",
                                               "groupOSCSendToMtx",
                                               "groupOSCSendToMtxRange",
                                               "mtxEnabled",
                                               "mtxName",
                                               "mtxNum",
                                               "mtxColour",
                                               "mtxOSCLevel",
                                               "mtxOSCLevelRange",
                                               "mtxOSCMute",
                                               "mtxOSCUnMute",
                                               "mtxOSCSend",
                                               "mtxOSCSendRange",
                                               "positionOSC",
                                               "inputToMtx",
                                               "UDP",
                                               "cueModeEnabled",
                                               "cueName",
                                               "cueColour",
                                               "cueOSC",
                                               "cueRange"};
    return keys;
}

std::vector<std::string> MixingDesk::encodedKeys() const {
    const Value tree = encode();
    std::vector<std::string> keys;
    for (const auto& key : encodingKeyOrder())
        if (tree.find(key))
            keys.push_back(key);
    return keys;
}

Value MixingDesk::encode() const {
    KeyedEncoder e;
    forEachField(*this, [&](const char* key, const auto& field) {
        using T = std::decay_t<decltype(field)>;
        if constexpr (IsOptional<T>::value)
            e.encodeIfPresent(key, field);
        else
            e.encode(key, field);
    });
    return std::move(e).finish();
}

MixingDesk MixingDesk::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    MixingDesk desk;
    if (auto id = d.decodeIfPresent<UUID>("id"))
        desk.id = *id;
    desk.brand = d.decode<std::string>("brand");
    desk.name = d.decode<std::string>("name");
    desk.displayName = d.decode<std::string>("displayName");
    desk.defaultPort = d.decode<std::int64_t>("defaultPort");
    desk.OSCFloat = d.decode<bool>("OSCFloat");
    desk.inputsNum = d.decode<std::int64_t>("inputsNum");
    desk.inputColour = d.decode<std::string>("inputColour");
    desk.inputName = d.decode<std::string>("inputName");
    desk.UDP = d.decode<bool>("UDP");
    forEachField(desk, [&](const char* key, auto& field) {
        using T = std::decay_t<decltype(field)>;
        if constexpr (IsOptional<T>::value)
            field = d.decodeIfPresent<typename T::value_type>(key);
    });
    return desk;
}

std::vector<std::string> MixingDesk::offeredSpeakerTypes() const {
    std::vector<std::string> kinds;
    if (mixEnabled.value_or(false))
        kinds.push_back(kindOrStandIn(mixName, "Mix"));
    if (mtxEnabled.value_or(false))
        kinds.push_back(kindOrStandIn(mtxName, "Matrix"));
    return kinds;
}

std::vector<std::string> MixingDesk::offeredSourceTypes() const {
    std::vector<std::string> kinds;
    if (mixSendEnabled.value_or(false))
        kinds.push_back(kindOrStandIn(mixName, "Mix"));
    kinds.push_back(inputName);
    if (cueModeEnabled.value_or(false))
        kinds.push_back(kindOrStandIn(cueName, "Cue"));
    return kinds;
}

std::int64_t channelCount(const std::string& forSpeakerType, const MixingDesk& desk) {
    if (desk.mtxName == forSpeakerType)
        return desk.mtxNum.value_or(0);
    if (desk.mixName == forSpeakerType)
        return desk.mixNum.value_or(0);
    if (desk.groupName == forSpeakerType)
        return desk.groupNum.value_or(0);
    return 0;
}
