#include "Sonavant/ui/PathPropertiesEditor.h"

#include "Sonavant/cues/PathManager.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/SoundObject.h"
#include "Sonavant/ui/CueText.h"
#include "platform/Log.h"

#include <algorithm>

using platform::consoleLog;

PathPropertiesEditor::PathPropertiesEditor(PathManager& pathManager, std::shared_ptr<PathCue> cue)
    : pathManager_(pathManager), cue_(std::move(cue)) {}

bool PathPropertiesEditor::isListed() const {
    const auto& cues = pathManager_.pathCues.get();
    return cue_ && std::find(cues.begin(), cues.end(), cue_) != cues.end();
}

std::vector<std::string> PathPropertiesEditor::errors() const {
    std::vector<std::string> lines;
    for (const auto* error : {&numberError, &timeError, &targetError})
        if (*error)
            lines.push_back(**error);
    return lines;
}

bool PathPropertiesEditor::isMixSource(const SoundObject& source) const {
    const auto& state = pathManager_.appState();
    if (!state)
        return false;
    const auto& desk = state->selectedDesk.get();
    return desk && desk->mixName && source.type.get() == *desk->mixName;
}

std::string PathPropertiesEditor::targetsText(const std::vector<platform::UUID>& ids) const {
    const auto& state = pathManager_.appState();
    if (!state)
        return {};
    std::string text;
    for (const auto& id : ids) {
        const auto& objects = state->soundObjects.get();
        auto it =
            std::find_if(objects.begin(), objects.end(), [&](const auto& o) { return o && o->id == id; });
        if (it == objects.end())
            continue;
        if (!text.empty())
            text += ", ";
        text += (isMixSource(**it) ? "m" : "") + std::to_string((*it)->number.get());
    }
    return text;
}

void PathPropertiesEditor::loadValues() {
    if (!cue_)
        return;
    numberString = cuetext::fieldNumber(cue_->number);
    name = cue_->name;
    timeString = cuetext::fieldTime(cue_->time);
    loop = cue_->loop;
    loopCountString = cue_->loopCount ? std::to_string(*cue_->loopCount) : std::string();
    triggerNext = cue_->triggerNext;
    movementOption = cue_->relative ? relative : absolute;
    targetsInput = targetsText(cue_->soundObjectIDs);
    committedTargets_ = targetsInput;
    targetError.reset();
    numberError.reset();
    timeError.reset();
}

bool PathPropertiesEditor::validateNumber() {
    const auto value = cuetext::parseDouble(numberString);
    bool accepted = value && *value > 0;
    if (accepted)
        for (const auto& other : pathManager_.pathCues.get())
            if (other && other->id != cue_->id && other->number == *value)
                accepted = false;
    if (!accepted) {
        const std::string message = "Cue number " + numberString + " is invalid or not unique.";
        consoleLog(message);
        numberError = message;
        numberString = cuetext::fieldNumber(cue_->number);
        return false;
    }
    numberError.reset();
    if (cue_->number != *value) {
        cue_->number = *value;
        announce();
    }
    return true;
}

void PathPropertiesEditor::commitName() {
    if (cue_->name == name)
        return;
    cue_->name = name;
    announce();
}

bool PathPropertiesEditor::validateTime() {
    const auto value = cuetext::parseDouble(timeString);
    if (!value || *value <= 0) {
        const std::string message = "Cue time " + timeString + " is invalid.";
        consoleLog(message);
        timeError = message;
        timeString = cuetext::fieldTime(cue_->time);
        return false;
    }
    timeError.reset();
    if (cue_->time != *value) {
        cue_->time = *value;
        announce();
    }
    return true;
}

bool PathPropertiesEditor::validateTargets() {
    const auto& state = pathManager_.appState();
    std::vector<platform::UUID> targets;
    std::vector<std::string> invalid;
    std::string_view rest = targetsInput;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view raw = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const std::string_view piece = cuetext::trimBlanks(raw);
        if (piece.empty())
            continue;
        // "m<n>" is how loading writes a mix source; a plain number prefers a source that
        // is not one, so a loaded text commits back to the same sources.
        const bool mix = piece.front() == 'm' || piece.front() == 'M';
        const auto number = cuetext::parseInteger(mix ? piece.substr(1) : piece);
        std::shared_ptr<SoundObject> found;
        if (number && state) {
            for (const auto& object : state->soundObjects.get()) {
                if (!object || object->number.get() != *number)
                    continue;
                const bool isMix = isMixSource(*object);
                if (mix && !isMix)
                    continue;
                if (!mix && isMix) {
                    if (!found)
                        found = object; // only if no other source has the number
                    continue;
                }
                found = object;
                break;
            }
        }
        if (found)
            targets.push_back(found->id);
        else
            invalid.emplace_back(piece);
    }
    if (!invalid.empty()) {
        std::string message = "Invalid target(s): ";
        for (std::size_t i = 0; i < invalid.size(); ++i)
            message += (i ? ", " : "") + invalid[i];
        targetError = message;
        // Nothing was applied: the cue keeps its targets and their error state.
        return false;
    }
    targetError.reset();
    cue_->soundObjectIDs = targets;
    cue_->hasError = targets.empty();
    if (cue_->primarySoundObjectID && !targets.empty() &&
        std::find(targets.begin(), targets.end(), *cue_->primarySoundObjectID) == targets.end()) {
        // The movement follows a source the cue no longer moves: only relative makes sense,
        // and the picker says so, or Done would set it back.
        cue_->relative = true;
        movementOption = relative;
    }
    committedTargets_ = targetsInput;
    announce();
    return true;
}

void PathPropertiesEditor::movementChanged(std::string_view option) {
    movementOption = option;
    const bool value = option == relative;
    if (cue_->relative == value)
        return;
    cue_->relative = value;
    announce();
}

void PathPropertiesEditor::triggerNextChanged(TriggerNextOption option) {
    triggerNext = option;
    if (cue_->triggerNext == option)
        return;
    cue_->triggerNext = option;
    announce();
}

bool PathPropertiesEditor::applyChanges() {
    const bool numberOK = validateNumber();
    const bool timeOK = validateTime();
    // Targets typed without Return are applied too; an unchanged text is left alone, so a
    // stale target the text could not show is not dropped by Done.
    bool targetsOK = true;
    if (targetsInput != committedTargets_)
        targetsOK = validateTargets();
    else
        targetError.reset();
    cue_->name = name;
    cue_->loop = loop;
    cue_->loopCount.reset();
    if (loop)
        if (auto count = cuetext::parseInteger(loopCountString); count && *count >= 1)
            cue_->loopCount = *count;
    cue_->triggerNext = triggerNext;
    cue_->relative = movementOption == relative;
    announce();
    return numberOK && timeOK && targetsOK;
}

void PathPropertiesEditor::deletePath() {
    consoleLog("Deleting path: " + cue_->name);
    const platform::UUID id = cue_->id;
    if (pathManager_.selectedCue.get() && pathManager_.selectedCue.get()->id == id)
        pathManager_.selectedCue = nullptr;
    auto cues = pathManager_.pathCues.get();
    auto it = std::find_if(cues.begin(), cues.end(), [&](const auto& c) { return c && c->id == id; });
    if (it == cues.end())
        return;
    // Recorded before the cue goes, so one Undo brings it back.
    if (const auto& state = pathManager_.appState())
        state->saveStateForUndo();
    cues.erase(it);
    // The engine ends the cue's playback and drops it from the selection with it.
    pathManager_.pathCues = std::move(cues);
    // And after, so the Undo of a later edit that records only after itself stops here.
    if (const auto& state = pathManager_.appState())
        state->saveStateForUndo();
}

void PathPropertiesEditor::announce() {
    if (!isListed())
        return;
    pathManager_.pathCues = pathManager_.pathCues.get();
    if (pathManager_.selectedCue.get() == cue_)
        pathManager_.selectedCue = cue_;
}
