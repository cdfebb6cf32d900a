#include "Sonavant/model/DeskRoute.h"

#include <algorithm>
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
    std::size_t i = 0;
    while (i < addressTemplate.size()) {
        const std::size_t brace = std::min(addressTemplate.find('{', i), addressTemplate.size());
        out.append(addressTemplate, i, brace - i);
        if (brace == addressTemplate.size())
            break;
        const auto rest = addressTemplate.substr(brace);
        if (rest.starts_with("{n}") || rest.starts_with("{m}")) {
            char digits[24];
            const auto written = std::to_chars(digits, digits + sizeof digits, rest[1] == 'n' ? n : m);
            out.append(digits, written.ptr);
            i = brace + 3;
        } else {
            out.push_back('{');
            i = brace + 1;
        }
    }
    return out;
}

DeskSendPlan planDeskSend(const MixingDesk& desk, const std::string& sourceType,
                          const std::string& speakerType, DeskRouteCaller caller) {
    const bool engine = caller == DeskRouteCaller::levelEngine;
    const Choice choice = choose(desk, sourceType, speakerType, engine);
    DeskSendPlan plan{choice.row, std::nullopt, std::nullopt, {}, false};
    if (!choice.sends)
        return plan;
    plan.range = parseDeskRange(*choice.range);
    if (!plan.range) {
        if (engine)
            return plan;
        plan.range = DeskRange{0, 100};
    }
    if (const auto& addressTemplate = *choice.addressTemplate)
        plan.addressTemplate = *addressTemplate;
    else if (engine)
        plan.fixedAddress = noTemplateAddress;
    plan.countsFromZero = engine && !desk.UDP;
    return plan;
}

std::string DeskSendPlan::address(std::int64_t sourceNumber, std::int64_t channelNumber) const {
    if (!addressTemplate)
        return std::string(fixedAddress);
    if (countsFromZero)
        return fillDeskTemplate(*addressTemplate, lowered(sourceNumber), lowered(channelNumber));
    return fillDeskTemplate(*addressTemplate, sourceNumber, channelNumber);
}

DeskRoute routeDeskSend(const MixingDesk& desk, const std::string& sourceType, std::int64_t sourceNumber,
                        const std::string& speakerType, std::int64_t channelNumber, DeskRouteCaller caller) {
    const DeskSendPlan plan = planDeskSend(desk, sourceType, speakerType, caller);
    DeskRoute route{plan.row, std::nullopt, std::nullopt};
    if (!plan.range)
        return route;
    route.address = plan.address(sourceNumber, channelNumber);
    route.range = plan.range;
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
