#include "Sonavant/ui/SpeakerSheetModel.h"
#include "Sonavant/ui/NumberFieldText.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

SpeakerSheetModel::SpeakerSheetModel(ContentView& view, std::int64_t speakerID)
    : view_(view), speakerID_(speakerID) {}

std::optional<Speaker> SpeakerSheetModel::record() const {
    return view_.speakerWithID(speakerID_);
}

bool SpeakerSheetModel::isAvailable() const {
    return view_.selectedDesk->has_value() && record().has_value();
}

std::vector<std::string> SpeakerSheetModel::availableTypes() const {
    const auto& desk = view_.selectedDesk.get();
    return desk ? desk->offeredSpeakerTypes() : std::vector<std::string>{};
}

template <class F> bool SpeakerSheetModel::edit(F&& change) {
    auto speakers = view_.appState->speakers.get();
    auto it =
        std::find_if(speakers.begin(), speakers.end(), [&](const Speaker& s) { return s.id == speakerID_; });
    if (it == speakers.end())
        return false;
    change(*it);
    view_.appState->speakers = std::move(speakers);
    return true;
}

void SpeakerSheetModel::appear() {
    const auto types = availableTypes();
    const auto current = record();
    if (current && !types.empty() && std::find(types.begin(), types.end(), current->type) == types.end()) {
        holdLevels_ = true;
        setType(types.front());
        assignLowestChannel(types.front());
        holdLevels_ = false;
        validate();
        levelsFollow();
        return;
    }
    validate();
}

void SpeakerSheetModel::assignLowestChannel(const std::string& type) {
    const auto channel = view_.findLowestChannel(type, speakerID_);
    if (!channel)
        return; // left as it is; validation reports it
    setChannel(*channel);
}

void SpeakerSheetModel::setDisplayName(const std::string& name) {
    edit([&](Speaker& s) { s.displayName = name; });
}

void SpeakerSheetModel::setType(const std::string& type) {
    const auto current = record();
    if (!current || current->type == type)
        return;
    edit([&](Speaker& s) { s.type = type; });
    typeChanged();
    levelsFollow();
}

void SpeakerSheetModel::typeChanged() {
    const auto& desk = view_.selectedDesk.get();
    if (desk)
        edit([&](Speaker& s) {
            s.refreshColour(*desk);
            s.refreshName(*desk);
        });
    validate();
}

void SpeakerSheetModel::setChannel(std::int64_t channel) {
    const auto current = record();
    // The display number always follows the channel.
    edit([&](Speaker& s) {
        s.channelNumber = channel;
        s.displayNumber = channel;
    });
    channelChanged();
    if (current && current->channelNumber != channel)
        levelsFollow();
}

void SpeakerSheetModel::stepChannel(int direction, bool held) {
    const auto current = record();
    if (!current)
        return;
    const bool wasHolding = std::exchange(holdLevels_, true);
    setChannel(channelStep(current->channelNumber, direction));
    holdLevels_ = wasHolding;
    // Also when the last step stayed at the stepper's end: the steps before it sent nothing.
    if (!held)
        levelsFollow();
}

void SpeakerSheetModel::levelsFollow() {
    if (holdLevels_ || !record() || validationError_)
        return;
    view_.updateRelativeLevels();
}

void SpeakerSheetModel::channelChanged() {
    const auto& desk = view_.selectedDesk.get();
    if (desk)
        edit([&](Speaker& s) { s.refreshName(*desk); });
    validate();
}

bool SpeakerSheetModel::setChannelText(std::string_view text) {
    const auto channel = parseWholeNumberField(text);
    if (!channel)
        return false;
    setChannel(*channel);
    return true;
}

void SpeakerSheetModel::setWidth(double width) {
    const auto current = record();
    if (!std::isfinite(width) || !current || current->width == width)
        return;
    edit([&](Speaker& s) { s.width = width; });
    view_.takeOutOfSnapshotFade(speakerID_, ContentView::FadedProperty::width);
    // The width feeds the audience-area factors: the desk follows at once.
    view_.updateRelativeLevels();
}

bool SpeakerSheetModel::setWidthText(std::string_view text) {
    const auto width = parseDecimalNumberField(text);
    if (!width)
        return false;
    setWidth(*width);
    return true;
}

void SpeakerSheetModel::setFocus(double focus) {
    const auto current = record();
    if (!std::isfinite(focus) || !current)
        return;
    focus = std::clamp(focus, focusMin, focusMax);
    if (current->focus == focus)
        return;
    edit([&](Speaker& s) { s.focus = focus; });
    view_.takeOutOfSnapshotFade(speakerID_, ContentView::FadedProperty::focus);
    view_.updateRelativeLevels();
}

void SpeakerSheetModel::validate() {
    const auto current = record();
    validationError_ =
        current ? view_.validateChannel(current->type, current->channelNumber, speakerID_) : std::nullopt;
}

bool SpeakerSheetModel::coverageEditable() const {
    return view_.appState->showSpeakerCoverage.get();
}

bool SpeakerSheetModel::focusEditable() const {
    return view_.appState->showSpeakerFocus.get();
}

std::int64_t SpeakerSheetModel::channelStep(std::int64_t current, int direction) {
    const std::int64_t clamped = std::clamp(current, channelStepperMin, channelStepperMax);
    if (clamped != current)
        return clamped; // a typed channel outside the stepper's range comes back to its edge
    return std::clamp(current + (direction < 0 ? -1 : 1), channelStepperMin, channelStepperMax);
}

double SpeakerSheetModel::widthStepFrom(double current, int direction) {
    if (!std::isfinite(current))
        return widthStepperMin;
    const double clamped = std::clamp(current, widthStepperMin, widthStepperMax);
    if (clamped != current)
        return clamped;
    return std::clamp(current + (direction < 0 ? -widthStep : widthStep), widthStepperMin, widthStepperMax);
}

std::string SpeakerSheetModel::focusLabel(double focus) {
    constexpr const char* ordinal = "\u00BA";
    if (!std::isfinite(focus))
        return std::string("\u2013") + ordinal;
    const double whole = std::trunc(std::clamp(focus, -1e15, 1e15));
    return std::to_string(static_cast<long long>(whole)) + ordinal;
}

void SpeakerSheetModel::deleteSpeaker() {
    view_.onDelete(speakerID_);
}
