// Undo and redo: whole copies of the show, holding exactly what a document holds.

#include "Sonavant/model/AppState.h"
#include "platform/Log.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

namespace {

// What a round trip through the document container gives, built directly: a push runs at
// the start of every drag and on every arrow key, and coding tens of thousands of path
// nodes each time would stall the canvas. Records are copied whole, shared objects are
// fresh ones with the same coded fields, and the run-only fields start at their initial
// values. Fails where encoding the state would fail.
std::shared_ptr<AppState> documentCopy(const AppState& s) {
    std::vector<std::shared_ptr<SoundObject>> soundObjects;
    soundObjects.reserve(s.soundObjects->size());
    for (std::size_t i = 0; i < s.soundObjects->size(); ++i) {
        const auto& source = s.soundObjects.get()[i];
        const auto path = platform::indexPath("soundObjects", i);
        if (!source)
            throw platform::CodingError(platform::CodingError::Reason::valueNotFound, path,
                                        "Expected a source but found none.");
        soundObjects.push_back(SoundObject::decodeShared(source->encode(), path));
    }
    std::vector<std::shared_ptr<PathCue>> pathCues;
    pathCues.reserve(s.pathCues->size());
    for (std::size_t i = 0; i < s.pathCues->size(); ++i) {
        const auto& cue = s.pathCues.get()[i];
        if (!cue)
            throw platform::CodingError(platform::CodingError::Reason::valueNotFound,
                                        platform::indexPath("pathCues", i),
                                        "Expected a path cue but found none.");
        pathCues.push_back(std::make_shared<PathCue>(*cue));
    }

    auto copy = std::make_shared<AppState>(
        s.speakers, std::move(soundObjects), s.groups, s.snapshots, s.selectedDesk, s.oscOutputOn,
        s.targetDeskIP, s.targetPort, s.showZeroPoint, s.range, s.minLevel, s.maxLevel, s.minMaxRelitive,
        std::move(pathCues), s.zeroPoint, s.zeroPointPosition, s.isSoundScapeMode, s.receivePort,
        s.backgroundImageURL, s.showBackgroundImage, s.backgroundImageOffset, s.backgroundImageScale,
        s.canvasOrientation, s.backgroundImageRotation, s.showSidebar, s.constantPowerPan, s.panningMode);
    copy->showSpeakerFocus = s.showSpeakerFocus;
    copy->showSpeakerCoverage = s.showSpeakerCoverage;
    copy->defaultSpeakerWidth = s.defaultSpeakerWidth;
    copy->soundscapeSpeakers = s.soundscapeSpeakers;
    copy->freezeStates = s.freezeStates;
    copy->muteStates = s.muteStates;
    copy->audienceAreas = s.audienceAreas;
    copy->selectedAudienceAreaID = s.selectedAudienceAreaID;
    copy->isEditingAudienceArea = s.isEditingAudienceArea;
    copy->audienceAwarePanLaw = s.audienceAwarePanLaw;
    return copy;
}

// Whether two states hold the same show as the operator made it: every coded field but
// what follows the canvas and the zoom (items' canvas points, the zero point) and the output
// switch. Compared field by field rather than through coding: a push compares on every drag
// start and arrow key, and coding tens of thousands of path nodes for that would stall the
// canvas. A missing source or cue cannot be coded and compares unequal.
bool sameSpeakers(const std::vector<Speaker>& a, const std::vector<Speaker>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Speaker& x, const Speaker& y) {
        return x.id == y.id && x.positionMeters == y.positionMeters && x.displayNumber == y.displayNumber &&
               x.type == y.type && x.displayColour == y.displayColour && x.channelNumber == y.channelNumber &&
               x.displayName == y.displayName && x.isMuted == y.isMuted && x.levelOffset == y.levelOffset &&
               x.focus == y.focus && x.width == y.width;
    });
}

bool sameSources(const std::vector<std::shared_ptr<SoundObject>>& a,
                 const std::vector<std::shared_ptr<SoundObject>>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x && y && x->id == y->id && x->positionMeters.get() == y->positionMeters.get() &&
               x->name.get() == y->name.get() && x->colour.get() == y->colour.get() &&
               x->outlineColour.get() == y->outlineColour.get() && x->number.get() == y->number.get() &&
               x->type.get() == y->type.get();
    });
}

bool sameCues(const std::vector<std::shared_ptr<PathCue>>& a,
              const std::vector<std::shared_ptr<PathCue>>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x && y && x->id == y->id && x->name == y->name && x->time == y->time &&
               x->soundObjectIDs == y->soundObjectIDs && x->nodesMeters == y->nodesMeters &&
               x->number == y->number && x->baseZoomLevel == y->baseZoomLevel && x->hasError == y->hasError &&
               x->primarySoundObjectID == y->primarySoundObjectID && x->objectOffsets == y->objectOffsets &&
               x->loop == y->loop && x->loopCount == y->loopCount && x->triggerNext == y->triggerNext &&
               x->relative == y->relative && x->triggerOnMTC == y->triggerOnMTC &&
               x->mtcTriggerTime == y->mtcTriggerTime;
    });
}

// Small lists without a comparison of their own, compared in their coded form.
template <class T> bool sameCoded(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() &&
           platform::Coder<std::vector<T>>::encode(a) == platform::Coder<std::vector<T>>::encode(b);
}

bool operatorMadeEqual(const AppState& a, const AppState& b) {
    return a.selectedDesk.get() == b.selectedDesk.get() && a.targetDeskIP.get() == b.targetDeskIP.get() &&
           a.targetPort.get() == b.targetPort.get() && a.showZeroPoint.get() == b.showZeroPoint.get() &&
           a.range.get() == b.range.get() && a.minLevel.get() == b.minLevel.get() &&
           a.maxLevel.get() == b.maxLevel.get() && a.minMaxRelitive.get() == b.minMaxRelitive.get() &&
           a.zeroPointPosition.get() == b.zeroPointPosition.get() &&
           a.isSoundScapeMode.get() == b.isSoundScapeMode.get() &&
           a.receivePort.get() == b.receivePort.get() &&
           a.backgroundImageURL.get() == b.backgroundImageURL.get() &&
           a.showBackgroundImage.get() == b.showBackgroundImage.get() &&
           a.backgroundImageOffset.get() == b.backgroundImageOffset.get() &&
           a.backgroundImageScale.get() == b.backgroundImageScale.get() &&
           a.freezeStates.get() == b.freezeStates.get() && a.muteStates.get() == b.muteStates.get() &&
           a.canvasOrientation.get() == b.canvasOrientation.get() &&
           a.backgroundImageRotation.get() == b.backgroundImageRotation.get() &&
           a.showSidebar.get() == b.showSidebar.get() &&
           a.constantPowerPan.get() == b.constantPowerPan.get() &&
           a.panningMode.get() == b.panningMode.get() &&
           a.showSpeakerFocus.get() == b.showSpeakerFocus.get() &&
           a.showSpeakerCoverage.get() == b.showSpeakerCoverage.get() &&
           a.defaultSpeakerWidth.get() == b.defaultSpeakerWidth.get() &&
           a.audienceAreas.get() == b.audienceAreas.get() &&
           a.selectedAudienceAreaID.get() == b.selectedAudienceAreaID.get() &&
           a.isEditingAudienceArea.get() == b.isEditingAudienceArea.get() &&
           a.audienceAwarePanLaw.get() == b.audienceAwarePanLaw.get() &&
           sameSpeakers(a.speakers.get(), b.speakers.get()) &&
           sameSources(a.soundObjects.get(), b.soundObjects.get()) &&
           sameCues(a.pathCues.get(), b.pathCues.get()) && sameCoded(a.groups.get(), b.groups.get()) &&
           sameCoded(a.snapshots.get(), b.snapshots.get()) &&
           sameCoded(a.soundscapeSpeakers.get(), b.soundscapeSpeakers.get());
}

} // namespace

bool AppState::sameShow(const AppState& a, const AppState& b) {
    try {
        return operatorMadeEqual(a, b);
    } catch (const std::exception& error) {
        platform::consoleLog(std::string("⚠️ Failed to compare AppState: ") + error.what());
        return false;
    }
}

std::shared_ptr<AppState> AppState::deepCopy() const {
    try {
        auto copy = documentCopy(*this);
        copy->viewDesk = viewDesk;
        return copy;
    } catch (const std::exception& error) {
        platform::consoleLog(std::string("❌ Deep copy failed: ") + error.what());
        return nullptr;
    }
}

void AppState::record(std::shared_ptr<AppState> entry) {
    undoStack.push_back(std::move(entry));
    if (undoStack.size() > maxUndoEntries)
        undoStack.erase(undoStack.begin(), undoStack.end() - maxUndoEntries);
    redoStack.clear();
}

std::shared_ptr<AppState> AppState::settleStepResult(bool onlyAfterAPush) {
    auto left = std::move(stepResult);
    stepResult = nullptr;
    const bool pushed = std::exchange(pushedAtStepResult, false);
    if (!left)
        return nullptr;
    if (sameShow(*this, *left))
        return left;
    // A change no push announced (a playing cue, a tracked source) is not an edit: Undo and
    // Redo step over it, or Undo would only ever take back a cue's last moments.
    if (onlyAfterAPush && !pushed)
        return nullptr;
    // The show changed after the step without an entry of its own (a push equal to the
    // step's state recorded nothing): the step's state is the way back to before that change,
    // and the change ends the redo list as any recorded edit does.
    if (undoStack.empty() || !sameShow(*left, *undoStack.back()))
        record(std::move(left));
    else
        redoStack.clear();
    return nullptr;
}

void AppState::saveStateForUndo() {
    if (isRestoring)
        return;
    // A push that finds the show as the newest entry or the last undo or redo left it (a
    // selection click, a tap on the canvas, a press that moves nothing) records nothing and
    // keeps the redo list: only a change uses up history.
    if (stepResult && sameShow(*this, *stepResult)) {
        pushedAtStepResult = true;
        return;
    }
    settleStepResult(false);
    if (!undoStack.empty() && sameShow(*this, *undoStack.back()))
        return;
    // A failed copy stores nothing: the live instance itself in the history would make
    // every later undo of it a silent no-op.
    if (auto copy = deepCopy())
        record(std::move(copy));
    else
        redoStack.clear();
}

void AppState::undo() {
    auto current = settleStepResult(true);
    historyStep(undoStack, redoStack, std::move(current));
}

void AppState::redo() {
    auto current = settleStepResult(true);
    historyStep(redoStack, undoStack, std::move(current));
}

void AppState::clearHistory() {
    undoStack.clear();
    redoStack.clear();
    stepResult = nullptr;
    pushedAtStepResult = false;
}

void AppState::historyStep(std::vector<std::shared_ptr<AppState>>& source,
                           std::vector<std::shared_ptr<AppState>>& destination,
                           std::shared_ptr<AppState> current) {
    if (source.empty())
        return;
    historyStepping.send();
    // Without a copy of the live state the step still goes back, it just cannot be stepped
    // forward again. The state the last step left is that copy while the show is unchanged.
    if (!current)
        current = deepCopy();
    while (!source.empty()) {
        auto candidate = std::move(source.back());
        source.pop_back();
        if (current) {
            // Entries compare by what the operator made: after a zoom or canvas change the
            // live canvas points differ from every entry's, and one undo must still go back
            // one real edit.
            if (sameShow(*candidate, *current))
                continue; // the same as the live state: skip to the entry before it
            destination.push_back(current);
        }
        restore(*candidate);
        replaced.send(Replacement::restored);
        // What the step left, for telling a later push that changes nothing from one that
        // does; the candidate itself now shares its sources and cues with the live show.
        stepResult = deepCopy();
        pushedAtStepResult = false;
        return;
    }
}
void AppState::restore(const AppState& entry) {
    struct Restoring {
        Restoring() { isRestoring = true; }
        ~Restoring() { isRestoring = false; }
    } restoring;
    speakers = entry.speakers;
    soundObjects = entry.soundObjects;
    selectedDesk = entry.selectedDesk;
    // The output switch is the operator's live choice, not part of the show's history: an
    // undo after "OSC: Off" must not start sending again.
    targetDeskIP = entry.targetDeskIP;
    targetPort = entry.targetPort;
    showZeroPoint = entry.showZeroPoint;
    range = entry.range;
    minLevel = entry.minLevel;
    maxLevel = entry.maxLevel;
    minMaxRelitive = entry.minMaxRelitive;
    pathCues = entry.pathCues;
    zeroPoint = entry.zeroPoint;
    zeroPointPosition = entry.zeroPointPosition;
    canvasOrientation = entry.canvasOrientation;
    groups = entry.groups;
    snapshots = entry.snapshots;
    selectedSoundObject = entry.selectedSoundObject;
    soundscapeSpeakers = entry.soundscapeSpeakers;
    showSidebar = entry.showSidebar;
    backgroundImageURL = entry.backgroundImageURL;
    showBackgroundImage = entry.showBackgroundImage;
    backgroundImageScale = entry.backgroundImageScale;
    receivePort = entry.receivePort;
    mixerLevels = entry.mixerLevels;
    muteStates = entry.muteStates;
    freezeStates = entry.freezeStates;
    isSoundScapeMode = entry.isSoundScapeMode;
    // Area drags and additions push undo states, so an undo must bring the outline back.
    audienceAreas = entry.audienceAreas;
    if (entry.viewDesk)
        viewDesk = entry.viewDesk;
}
