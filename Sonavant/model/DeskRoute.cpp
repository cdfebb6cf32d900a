#include "Sonavant/model/DeskRoute.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

struct Choice {
    DeskRouteRow row = DeskRouteRow::unsupported;
    bool sends = false;
    const std::optional<std::string>* addressTemplate = nullptr;
    const std::optional<DeskRangeTexts>* range = nullptr;
};

Choice choose(const MixingDesk& desk, const std::string& source, const std::string& speaker, bool cueRow) {
    auto is = [](const std::optional<std::string>& kind, const std::string& type) { return kind == type; };
    if (is(desk.mixName, source) && is(desk.mtxName, speaker))
        return {DeskRouteRow::mixToMatrix, true, &desk.mixOSCSendToMtx, &desk.mixOSCSendToMtxRange};
    if (is(desk.mixName, source) && is(desk.mixName, speaker))
        return {DeskRouteRow::mixToMix};
    if (desk.inputName == source && is(desk.mixName, speaker))
        return {DeskRouteRow::inputToMix, true, &desk.mixOSCSend, &desk.mixOSCSendRange};
    if (desk.inputName == source && is(desk.mtxName, speaker))
        return {DeskRouteRow::inputToMatrix, desk.inputToMtx.value_or(false), &desk.mtxOSCSend,
                &desk.mtxOSCSendRange};
    if (cueRow && is(desk.cueName, source) && is(desk.mixName, speaker))
        return {DeskRouteRow::cueToMix, desk.cueModeEnabled.value_or(false), &desk.cueOSC, &desk.cueRange};
    return {};
}

// The whole text as a finite decimal number: an optional sign, digits, fraction, exponent.
std::optional<double> parseDecimal(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-'))
            return std::nullopt;
    }
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Desks reached over TCP count channels from 0.
std::int64_t lowered(std::int64_t v) {
    return v == std::numeric_limits<std::int64_t>::min() ? v : v - 1;
}

} // namespace

std::optional<DeskRange> parseDeskRange(const std::optional<DeskRangeTexts>& range) {
    if (!range || range->size() != 2)
        return std::nullopt;
    auto lower = parseDecimal((*range)[0]);
    auto upper = parseDecimal((*range)[1]);
    if (!lower || !upper)
        return std::nullopt;
    return DeskRange{*lower, *upper};
}

std::string fillDeskTemplate(std::string_view addressTemplate, std::int64_t n, std::int64_t m) {
    std::string out;
    out.reserve(addressTemplate.size() + 8);
    for (std::size_t i = 0; i < addressTemplate.size(); ++i) {
        auto rest = addressTemplate.substr(i);
        if (rest.starts_with("{n}") || rest.starts_with("{m}")) {
            out += std::to_string(rest[1] == 'n' ? n : m);
            i += 2;
        } else
            out.push_back(addressTemplate[i]);
    }
    return out;
}

DeskRoute routeDeskSend(const MixingDesk& desk, const std::string& sourceType, std::int64_t sourceNumber,
                        const std::string& speakerType, std::int64_t channelNumber, DeskRouteCaller caller) {
    const bool engine = caller == DeskRouteCaller::levelEngine;
    const Choice choice = choose(desk, sourceType, speakerType, engine);
    DeskRoute route{choice.row, std::nullopt, std::nullopt};
    if (!choice.sends)
        return route;

    auto range = parseDeskRange(*choice.range);
    if (!range) {
        if (engine)
            return route;
        range = DeskRange{0, 100};
    }
    const auto& addressTemplate = *choice.addressTemplate;
    if (!addressTemplate) {
        route.address = engine ? std::string(noTemplateAddress) : std::string();
    } else if (engine && !desk.UDP) {
        route.address = fillDeskTemplate(*addressTemplate, lowered(sourceNumber), lowered(channelNumber));
    } else {
        route.address = fillDeskTemplate(*addressTemplate, sourceNumber, channelNumber);
    }
    route.range = range;
    return route;
}

std::string soundscapePositionAddress(const MixingDesk& desk, std::int64_t sourceNumber) {
    const std::string addressTemplate = desk.positionOSC.value_or(std::string(defaultPositionTemplate));
    std::string out;
    for (std::size_t i = 0; i < addressTemplate.size(); ++i) {
        if (addressTemplate.compare(i, 3, "{n}") == 0) {
            out += std::to_string(sourceNumber);
            i += 2;
        } else
            out.push_back(addressTemplate[i]);
    }
    return out;
}
