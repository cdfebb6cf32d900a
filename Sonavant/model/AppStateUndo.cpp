// Undo and redo: whole copies of the show, holding exactly what a document holds.

#include "Sonavant/model/AppState.h"
#include "platform/Log.h"

#include <algorithm>
#include <exception>
#include <set>
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

// Comparisons of what the operator made: metres, not the canvas points that follow the
// canvas and the zoom. Field by field rather than through coding: a push compares on every
// drag start and arrow key, and coding tens of thousands of path nodes for that would stall
// the canvas. A missing source or cue cannot be coded and compares unequal.
using Motion = std::set<platform::UUID>;

bool sameSpeakers(const std::vector<Speaker>& a, const std::vector<Speaker>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Speaker& x, const Speaker& y) {
        return x.id == y.id && x.positionMeters == y.positionMeters && x.displayNumber == y.displayNumber &&
               x.type == y.type && x.displayColour == y.displayColour && x.channelNumber == y.channelNumber &&
               x.displayName == y.displayName && x.isMuted == y.isMuted && x.levelOffset == y.levelOffset &&
               x.focus == y.focus && x.width == y.width;
    });
}

bool sameSources(const std::vector<std::shared_ptr<SoundObject>>& a,
                 const std::vector<std::shared_ptr<SoundObject>>& b, const Motion& motion) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](const auto& x, const auto& y) {
        return x && y && x->id == y->id &&
               (x->positionMeters.get() == y->positionMeters.get() || motion.count(x->id)) &&
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

// One field a history step gives back and how it compares. The list below is both what a
// step restores and what it compares, so that no step can find a difference it then leaves
// in place (an Undo press that changes nothing).
struct StepField {
    // Given back by every step, or only by a step across an Open.
    bool wholeShowOnly;
    void (*restore)(AppState& live, const AppState& entry);
    // Null: given back, never compared (run-only, or following the canvas and zoom).
    bool (*same)(const AppState& a, const AppState& b, const Motion& motion);
};

template <auto field> void assign(AppState& live, const AppState& entry) {
    live.*field = (entry.*field).get();
}

template <auto field> bool equal(const AppState& a, const AppState& b, const Motion&) {
    return (a.*field).get() == (b.*field).get();
}

template <auto field> constexpr StepField plain(bool wholeShowOnly = false) {
    return {wholeShowOnly, assign<field>, equal<field>};
}

template <auto field> constexpr StepField uncompared() {
    return {false, assign<field>, nullptr};
}

template <auto field> constexpr StepField coded() {
    return {false, assign<field>, [](const AppState& a, const AppState& b, const Motion&) {
                return sameCoded((a.*field).get(), (b.*field).get());
            }};
}

// In the order a step assigns them. The output switch is the operator's live choice, not
// part of the show's history: an undo after "OSC: Off" must not start sending again. Audience
// areas come back with every step: their drags and additions record. The fields after them
// are view and pan-law settings that no edit records: only the whole show across an Open
// brings them back.
const std::vector<StepField>& stepFields() {
    using A = AppState;
    static const std::vector<StepField> fields{
        {false, assign<&A::speakers>,
         [](const A& a, const A& b, const Motion&) {
             return sameSpeakers(a.speakers.get(), b.speakers.get());
         }},
        {false, assign<&A::soundObjects>,
         [](const A& a, const A& b, const Motion& motion) {
             return sameSources(a.soundObjects.get(), b.soundObjects.get(), motion);
         }},
        plain<&A::selectedDesk>(),
        plain<&A::targetDeskIP>(),
        plain<&A::targetPort>(),
        plain<&A::showZeroPoint>(),
        plain<&A::range>(),
        plain<&A::minLevel>(),
        plain<&A::maxLevel>(),
        plain<&A::minMaxRelitive>(),
        {false, assign<&A::pathCues>,
         [](const A& a, const A& b, const Motion&) { return sameCues(a.pathCues.get(), b.pathCues.get()); }},
        uncompared<&A::zeroPoint>(),
        plain<&A::zeroPointPosition>(),
        plain<&A::canvasOrientation>(),
        coded<&A::groups>(),
        coded<&A::snapshots>(),
        uncompared<&A::selectedSoundObject>(),
        coded<&A::soundscapeSpeakers>(),
        plain<&A::showSidebar>(),
        plain<&A::backgroundImageURL>(),
        plain<&A::showBackgroundImage>(),
        plain<&A::backgroundImageScale>(),
        plain<&A::receivePort>(),
        uncompared<&A::mixerLevels>(),
        plain<&A::muteStates>(),
        plain<&A::freezeStates>(),
        plain<&A::isSoundScapeMode>(),
        plain<&A::audienceAreas>(),
        plain<&A::selectedAudienceAreaID>(true),
        plain<&A::isEditingAudienceArea>(true),
        plain<&A::backgroundImageOffset>(true),
        plain<&A::backgroundImageRotation>(true),
        plain<&A::constantPowerPan>(true),
        plain<&A::panningMode>(true),
        plain<&A::showSpeakerFocus>(true),
        plain<&A::showSpeakerCoverage>(true),
        plain<&A::defaultSpeakerWidth>(true),
        plain<&A::audienceAwarePanLaw>(true),
    };
    return fields;
}

// Whether `a` and `b` agree in what a step gives back (all of it when `whole`).
bool sameIn(const AppState& a, const AppState& b, bool whole, const Motion& motion) {
    try {
        for (const auto& field : stepFields())
            if (field.same && (whole || !field.wholeShowOnly) && !field.same(a, b, motion))
                return false;
        return true;
    } catch (const std::exception& error) {
        platform::consoleLog(std::string("⚠️ Failed to compare AppState: ") + error.what());
        return false;
    }
}

} // namespace

bool AppState::sameShow(const AppState& a, const AppState& b) {
    return sameIn(a, b, false, {});
}

std::set<platform::UUID> AppState::motionNow() const {
    return sourcesInMotion ? sourcesInMotion() : std::set<platform::UUID>{};
}

bool AppState::matches(const AppState& entry) const {
    return sameIn(*this, entry, entry.stepsWhole_, motionNow());
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
    const auto motion = motionNow();
    if (sameIn(*this, *left, false, motion))
        return left;
    // A change no push announced (a playing cue, a tracked source) is not an edit: Undo and
    // Redo step over it, or Undo would only ever take back a cue's last moments.
    if (onlyAfterAPush && !pushed)
        return nullptr;
    // The show changed after the step without an entry of its own (a push equal to the
    // step's state recorded nothing): the step's state is the way back to before that change,
    // and the change ends the redo list as any recorded edit does.
    if (undoStack.empty() || !sameIn(*left, *undoStack.back(), undoStack.back()->stepsWhole_, motion))
        record(std::move(left));
    else
        redoStack.clear();
    return nullptr;
}

void AppState::saveStateForUndo() {
    if (isRestoring)
        return;
    // A push that finds the show as the newest entry or the last undo or redo left it (a
    // selection click, a tap on the canvas, a press that moves nothing, a click while a cue
    // plays) records nothing and keeps the redo list: only a change uses up history.
    if (stepResult && matches(*stepResult)) {
        pushedAtStepResult = true;
        return;
    }
    settleStepResult(false);
    if (!undoStack.empty() && matches(*undoStack.back()))
        return;
    // A failed copy stores nothing: the live instance itself in the history would make
    // every later undo of it a silent no-op.
    if (auto copy = deepCopy())
        record(std::move(copy));
    else
        redoStack.clear();
}

void AppState::saveStateBeforeDeskPick() {
    if (isRestoring)
        return;
    saveStateForUndo();
    // Nothing new is recorded where the show is the newest entry or the state the last step
    // left: that entry is the way back, and the port typed since belongs to it.
    for (const auto& entry : {stepResult, undoStack.empty() ? nullptr : undoStack.back()})
        if (entry && matches(*entry)) {
            entry->viewDesk = viewDesk;
            entry->stepsAcrossDeskPick_ = true;
        }
}

void AppState::recordBeforeOpening() {
    settleStepResult(false);
    auto copy = deepCopy();
    if (!copy) {
        // No step may cross this Open: it would graft the opened show onto an older one.
        clearHistory();
        return;
    }
    copy->stepsWhole_ = true;
    record(std::move(copy));
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
    const bool settled = current != nullptr;
    if (!current)
        current = deepCopy();
    const auto motion = motionNow();
    while (!source.empty()) {
        auto candidate = std::move(source.back());
        source.pop_back();
        if (current) {
            // Entries compare by what the operator made: after a zoom or canvas change the
            // live canvas points differ from every entry's, and one undo must still go back
            // one real edit.
            if (sameIn(*current, *candidate, candidate->stepsWhole_, motion))
                continue; // the same as the live state: skip to the entry before it
            if (candidate->stepsWhole_) {
                // The way back across the Open holds the whole show as it is now, with the
                // settings no edit records changed since the last step.
                if (auto now = settled ? deepCopy() : nullptr)
                    current = std::move(now);
                current->stepsWhole_ = true;
            }
            if (candidate->stepsAcrossDeskPick_) {
                // The way back across the pick holds the desk and port in use now.
                current->viewDesk = viewDesk;
                current->stepsAcrossDeskPick_ = true;
            }
            destination.push_back(current);
        }
        restore(*candidate);
        replaced.send(candidate->stepsWhole_            ? Replacement::restoredAcrossOpen
                      : candidate->stepsAcrossDeskPick_ ? Replacement::restoredAcrossDeskPick
                                                        : Replacement::restored);
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
    for (const auto& field : stepFields())
        if (entry.stepsWhole_ || !field.wholeShowOnly)
            field.restore(*this, entry);
    if (entry.viewDesk)
        viewDesk = entry.viewDesk;
}
