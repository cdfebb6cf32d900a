#include "Sonavant/ui/InputSheetModel.h"
#include "Sonavant/ui/NumberFieldText.h"

#include <algorithm>
#include <utility>

InputSheetModel::InputSheetModel(ContentView& view, const platform::UUID& sourceID)
    : view_(view), sourceID_(sourceID) {}

std::shared_ptr<SoundObject> InputSheetModel::source() const {
    return view_.soundObjectWithID(sourceID_);
}

bool InputSheetModel::isAvailable() const {
    return view_.selectedDesk->has_value() && source() != nullptr;
}

std::vector<std::string> InputSheetModel::availableTypes() const {
    const auto& desk = view_.selectedDesk.get();
    return desk ? desk->offeredSourceTypes() : std::vector<std::string>{};
}

std::int64_t InputSheetModel::inputCount() const {
    const auto& desk = view_.selectedDesk.get();
    return desk ? desk->inputsNum : 0;
}

std::int64_t InputSheetModel::stepperMax() const {
    return std::max<std::int64_t>(1, inputCount());
}

std::int64_t InputSheetModel::numberStep(std::int64_t current, int direction) const {
    const std::int64_t clamped = std::clamp(current, stepperMin(), stepperMax());
    if (clamped != current)
        return clamped;
    return std::clamp(current + (direction < 0 ? -1 : 1), stepperMin(), stepperMax());
}

void InputSheetModel::appear() {
    if (auto s = source())
        previousType_ = s->type.get();
}

void InputSheetModel::setName(const std::string& name) {
    if (auto s = source())
        s->name = name;
}

void InputSheetModel::setType(const std::string& type) {
    auto s = source();
    if (!s || s->type.get() == type)
        return;
    s->type = type;
    if (auto renamed = renamedForType(s->name, previousType_, type, s->number))
        s->name = *renamed;
    if (const auto& desk = view_.selectedDesk.get()) {
        s->refreshColour(*desk);
        s->refreshName(*desk);
    }
    previousType_ = type;
    levelsFollow();
}

void InputSheetModel::setNumber(std::int64_t number) {
    auto s = source();
    if (!s)
        return;
    const bool changed = s->number.get() != number;
    s->number = number;
    numberValidationMessage_ = numberMessage(number, s->type);
    if (const auto& desk = view_.selectedDesk.get())
        s->refreshName(*desk);
    if (changed)
        levelsFollow();
}

void InputSheetModel::stepNumber(int direction, bool held) {
    auto s = source();
    if (!s)
        return;
    const bool wasHolding = std::exchange(holdLevels_, true);
    setNumber(numberStep(s->number, direction));
    holdLevels_ = wasHolding;
    // Also when the last step stayed at the stepper's end: the steps before it sent nothing.
    if (!held)
        levelsFollow();
}

void InputSheetModel::levelsFollow() {
    if (!holdLevels_ && source())
        view_.updateRelativeLevels();
}

bool InputSheetModel::setNumberText(std::string_view text) {
    const auto number = parseWholeNumberField(text);
    if (!number)
        return false;
    setNumber(*number);
    return true;
}

void InputSheetModel::recheck() {
    if (numberValidationMessage_.empty())
        return;
    if (auto s = source())
        numberValidationMessage_ = numberMessage(s->number, s->type);
}

void InputSheetModel::save() {
    auto s = source();
    const auto& desk = view_.selectedDesk.get();
    if (!s || !desk)
        return;
    s->refreshColour(*desk);
    s->refreshName(*desk);
}

std::string InputSheetModel::numberMessage(std::int64_t number, const std::string& type) const {
    const std::int64_t count = inputCount();
    if (number < 1 || number > count)
        return "Number out of range (1-" + std::to_string(count) + ").";
    for (const auto& other : view_.appState->soundObjects.get())
        if (other && other->id != sourceID_ && other->number.get() == number && other->type.get() == type)
            return "Number already in use for type " + type + "!";
    return {};
}

std::optional<std::string> InputSheetModel::renamedForType(const std::string& name,
                                                           const std::string& previousType,
                                                           const std::string& newType, std::int64_t number) {
    const auto first = name.find_first_not_of(" \t");
    if (first == std::string::npos || previousType.empty())
        return std::nullopt;
    const auto last = name.find_last_not_of(" \t");
    const std::string_view trimmed = std::string_view(name).substr(first, last - first + 1);
    const std::string prefix = previousType + " ";
    if (!trimmed.starts_with(prefix))
        return std::nullopt;
    // Only a generated name: the old kind, one blank and a whole number. "Input Kick" or
    // "Input 3 vocals" are the operator's words and survive the change.
    const std::string_view rest = trimmed.substr(prefix.size());
    if (rest.empty() || !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return newType + " " + std::to_string(number);
}
