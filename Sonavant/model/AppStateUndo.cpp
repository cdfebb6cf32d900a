// Undo and redo: whole copies of the show, holding exactly what a document holds.

#include "Sonavant/model/AppState.h"
#include "platform/Log.h"

#include <exception>
#include <string>

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

// The coded show without what follows the canvas and the zoom (items' canvas points, the
// zero point) and without the output switch.
platform::Value operatorMade(const AppState& s) {
    platform::Value coded = s.encode();
    auto* fields = coded.asObject();
    if (!fields)
        return coded;
    fields->erase("zeroPoint");
    fields->erase("oscOutputOn");
    for (const char* list : {"speakers", "soundObjects"}) {
        auto it = fields->find(list);
        if (it == fields->end() || !it->second.asArray())
            continue;
        for (auto& item : *it->second.asArray())
            if (auto* itemFields = item.asObject())
                itemFields->erase("position");
    }
    return coded;
}

} // namespace

bool AppState::sameShow(const AppState& a, const AppState& b) {
    return operatorMade(a) == operatorMade(b);
}

std::shared_ptr<AppState> AppState::deepCopy() const {
    try {
        return documentCopy(*this);
    } catch (const std::exception& error) {
        platform::consoleLog(std::string("❌ Deep copy failed: ") + error.what());
        return nullptr;
    }
}

void AppState::saveStateForUndo() {
    if (isRestoring)
        return;
    // A failed copy stores nothing: the live instance itself in the history would make
    // every later undo of it a silent no-op.
    if (auto copy = deepCopy()) {
        undoStack.push_back(std::move(copy));
        if (undoStack.size() > maxUndoEntries)
            undoStack.erase(undoStack.begin(), undoStack.end() - maxUndoEntries);
    }
    redoStack.clear();
}

void AppState::undo() {
    historyStep(undoStack, redoStack);
}

void AppState::redo() {
    historyStep(redoStack, undoStack);
}

void AppState::clearHistory() {
    undoStack.clear();
    redoStack.clear();
}

void AppState::historyStep(std::vector<std::shared_ptr<AppState>>& source,
                           std::vector<std::shared_ptr<AppState>>& destination) {
    if (source.empty())
        return;
    historyStepping.send();
    // Without a copy of the live state the step still goes back, it just cannot be stepped
    // forward again.
    auto current = deepCopy();
    std::optional<platform::Value> currentMade;
    while (!source.empty()) {
        auto candidate = std::move(source.back());
        source.pop_back();
        if (current) {
            // Entries compare by what the operator made: after a zoom or canvas change the
            // live canvas points differ from every entry's, and one undo must still go back
            // one real edit.
            try {
                if (!currentMade)
                    currentMade = operatorMade(*current);
                if (operatorMade(*candidate) == *currentMade)
                    continue; // the same as the live state: skip to the entry before it
            } catch (const std::exception& error) {
                platform::consoleLog(std::string("⚠️ Failed to compare AppState: ") + error.what());
            }
            destination.push_back(current);
        }
        restore(*candidate);
        replaced.send(Replacement::restored);
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
}
