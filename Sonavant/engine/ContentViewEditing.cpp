// Editing the show from the menus and the tool palette: adding outputs and inputs, the
// blank-canvas reset, moving the selection to the zero point, deleting the selection, the
// DS100 project import and the audience-area tools.

#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/engine/SelectionKeys.h"
#include "Sonavant/model/CanvasGeometry.h"
#include "Sonavant/model/ImportDBPR.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <random>
#include <set>

namespace {

// A point drawn uniformly from the visible canvas, the fractions limited to [low, high] of
// each direction: the canvas point (w * rx, h * (1 - ry)) taken back to metres under the
// canvas's orientation, so the item lands inside the view however the room is turned.
// Unturned this is the box of the visible metres.
Point randomPlace(ViewSize canvas, Point zero, double zoom, CanvasOrientation orientation, double low,
                  double high) {
    static std::mt19937_64 generator{std::random_device{}()};
    std::uniform_real_distribution<double> fraction(low, std::nextafter(high, high + 1));
    const double rx = fraction(generator), ry = fraction(generator);
    return canvasToMetres(orientation, Point{canvas.width * rx, canvas.height * (1 - ry)}, zoom, zero);
}

bool readsAsPort(const std::string& text) {
    std::string_view digits(text);
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    unsigned value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return !digits.empty() && error == std::errc() && end == digits.data() + digits.size() && value <= 65535;
}

} // namespace

std::int64_t ContentView::nextSpeakerID() const {
    // The count plus one can name a loudspeaker that is still there after a deletion, and a
    // reused id would inherit the groups, snapshots, mute, freeze and levels of a gone one.
    std::int64_t highest = 0;
    for (const auto& speaker : appState->speakers.get())
        highest = std::max(highest, speaker.id);
    if (highest == std::numeric_limits<std::int64_t>::max()) {
        std::set<std::int64_t> used;
        for (const auto& speaker : appState->speakers.get())
            used.insert(speaker.id);
        std::int64_t id = 1;
        while (used.count(id))
            ++id;
        return id;
    }
    return highest + 1;
}

void ContentView::addSpeaker() {
    appState->saveStateForUndo();
    const auto& deskChoice = selectedDesk.get();
    if (!deskChoice)
        return;
    const MixingDesk& desk = *deskChoice;

    std::int64_t matrices = 0, mixes = 0, groups = 0;
    for (const auto& speaker : appState->speakers.get()) {
        matrices += speakerIsMatrix(speaker, desk);
        mixes += speakerIsMix(speaker, desk);
        groups += speakerIsGroup(speaker, desk);
    }
    std::string type;
    if (desk.mtxEnabled.value_or(false) && desk.mtxNum && matrices < *desk.mtxNum)
        type = desk.mtxName.value_or("Matrix");
    else if (desk.mixEnabled.value_or(false) && desk.mixNum && mixes < *desk.mixNum)
        type = desk.mixName.value_or("Mix");
    else if (desk.groupEnabled.value_or(false) && desk.groupNum && groups < *desk.groupNum && desk.groupName)
        type = *desk.groupName;
    else {
        platform::consoleLog("Cannot add more speakers. All types have reached their limits.");
        return;
    }

    const double zoom = zoomLevel;
    const Point zero = appState->zeroPoint;
    const Point place = randomPlace(canvasSize, zero, zoom, appState->canvasOrientation, 0.1, 0.9);
    const std::int64_t id = nextSpeakerID();
    const std::int64_t channel = findLowestChannel(type, channelCount(type, desk), id).value_or(id);
    Speaker speaker(id, place.x, place.y, appState->defaultSpeakerWidth, zoom, zero, channel, type, desk);
    // Drawn where the metres put it under the canvas's orientation, as every later refresh does.
    speaker.position = metresToCanvas(appState->canvasOrientation, speaker.positionMeters, zoom, zero);
    appState->speakers.update(
        [&](std::vector<Speaker>& speakers) { speakers.push_back(std::move(speaker)); });
    updateRelativeLevels();
    appState->saveStateForUndo();
}

void ContentView::addSoundObject() {
    appState->saveStateForUndo();
    const auto& deskChoice = selectedDesk.get();
    if (!deskChoice) {
        platform::consoleLog("Error: No desk selected. Cannot add sound object.");
        return;
    }
    const MixingDesk& desk = *deskChoice;
    const double zoom = zoomLevel;
    const Point zero = appState->zeroPoint;
    const Point place = randomPlace(canvasSize, zero, zoom, appState->canvasOrientation, 0.25, 0.75);
    const std::string type =
        desk.mixSendEnabled.value_or(false) && desk.mixName ? *desk.mixName : desk.inputName;
    auto source =
        std::make_shared<SoundObject>(type, nextSoundObjectNumber(type), desk, place.x, place.y, zoom, zero);
    source->position = metresToCanvas(appState->canvasOrientation, source->positionMeters, zoom, zero);
    appState->soundObjects.update([&](auto& sources) { sources.push_back(source); });
    selectedObjects = std::set<std::string>{SelectionKeys::soundObject(source->id)};
    appState->selectedSoundObject = source;

    if (!targetDeskIP.get().empty() && readsAsPort(targetPort.get())) {
        if (!appState->isSoundScapeMode) {
            updateRelativeLevels();
        } else {
            platform::consoleLog(
                "SoundScape mode active – skipping immediate updateRelativeLevels() for new sound object.");
            querySoundObjectPositions();
        }
    } else {
        platform::consoleLog("Warning: Missing targetDeskIP or targetPort. Skipping OSC update.");
    }
    appState->saveStateForUndo();
}

void ContentView::newBlankCanvas() {
    endSnapshotFade();
    appState->saveStateForUndo();
    clearCanvas();
    AppState& s = *appState;
    s.speakers = std::vector<Speaker>{};
    s.soundObjects = std::vector<std::shared_ptr<SoundObject>>{};
    s.selectedDesk = std::nullopt;
    s.oscOutputOn = true;
    s.targetDeskIP = "127.0.0.1";
    s.targetPort = "8000";
    s.showZeroPoint = true;
    s.range = 5.0;
    s.minLevel = 0;
    s.maxLevel = 100;
    s.pathCues = std::vector<std::shared_ptr<PathCue>>{};
    s.zeroPointPosition = ZeroPointPosition::center;
    updateZeroPoint();
    s.isSoundScapeMode = false;
    s.receivePort = "6000";
    s.backgroundImageURL = std::nullopt;
    s.showBackgroundImage = false;
    s.backgroundImageOffset = Point{0, 0};
    s.backgroundImageScale = 1.0;
    workingStateDefaults().remove("savedBackgroundImageBookmark");
    ++backgroundBookmarkRemovalAsked_; // and again after a write under way that still holds it
    if (!mixingDesks->empty())
        selectedDesk = mixingDesks->front();
    platform::consoleLog("Application reset to default state.");
    s.saveStateForUndo();
    writeAutosaveAndWorkingState();
}

void ContentView::zeroSelected() {
    // Recorded before as well: the one entry after alone would make Undo skip it as equal to
    // the live state and take back the edit before instead.
    appState->saveStateForUndo();
    const Point zero = appState->zeroPoint;
    const auto keys = selectedObjects.get();
    auto speakers = appState->speakers.get();
    bool speakersMoved = false;
    for (const auto& key : keys) {
        // A running recall's next step would carry the item off the zero point again.
        takePositionOutOfSnapshotFade(key);
        if (auto id = SelectionKeys::speakerID(key)) {
            auto it =
                std::find_if(speakers.begin(), speakers.end(), [&](const Speaker& s) { return s.id == *id; });
            if (it != speakers.end()) {
                it->position = zero;
                it->positionMeters = Point{0, 0};
                speakersMoved = true;
            }
        } else if (auto sourceID = SelectionKeys::soundObjectID(key)) {
            for (const auto& source : appState->soundObjects.get())
                if (source->id == *sourceID) {
                    source->position = zero;
                    source->positionMeters = Point{0, 0};
                    break;
                }
        }
    }
    if (speakersMoved)
        appState->speakers = std::move(speakers);
    updateRelativeLevels();
    appState->saveStateForUndo();
}

void ContentView::deleteSelection() {
    const auto keys = selectedObjects.get();
    if (keys.empty())
        return;

    // One history entry before and one after the whole deletion: one Undo brings back
    // everything the key removed, and nothing edited before it.
    bool changed = false;
    bool speakersRemoved = false;
    auto beginChange = [&] {
        if (!changed)
            appState->saveStateForUndo();
        changed = true;
    };

    for (const auto& key : keys) {
        auto id = SelectionKeys::speakerID(key);
        if (!id)
            continue;
        const auto& speakers = appState->speakers.get();
        if (std::none_of(speakers.begin(), speakers.end(), [&](const Speaker& s) { return s.id == *id; }))
            continue;
        beginChange();
        speakersRemoved = true;
        appState->speakers.update([&](std::vector<Speaker>& list) {
            std::erase_if(list, [&](const Speaker& s) { return s.id == *id; });
        });
    }
    for (const auto& key : keys) {
        auto id = SelectionKeys::soundObjectID(key);
        if (!id)
            continue;
        const auto sources = appState->soundObjects.get();
        auto it = std::find_if(sources.begin(), sources.end(), [&](const auto& s) { return s->id == *id; });
        if (it == sources.end())
            continue;
        beginChange();
        AppState::HistoryPause pause;
        deleteSoundObject(*it);
    }

    const auto nodes = SelectionKeys::pathNodes(keys);
    if (!nodes.empty()) {
        auto cues = pathManager->pathCues.get();
        bool cuesChanged = false;
        for (const auto& [cueID, indices] : nodes) {
            auto it = std::find_if(cues.begin(), cues.end(),
                                   [&](const auto& c) { return c->id.string() == cueID; });
            if (it == cues.end())
                continue;
            auto& cue = **it;
            for (std::int64_t index : indices) // largest first
                if (static_cast<std::uint64_t>(index) < cue.nodesMeters.size())
                    cue.nodesMeters.erase(cue.nodesMeters.begin() + index);
            if (cue.nodesMeters.size() < 2)
                cues.erase(it);
            cuesChanged = true;
        }
        if (cuesChanged)
            pathManager->pathCues = std::move(cues);
    }

    selectedObjects = std::set<std::string>{};
    removeEmptyGroups();
    // The remaining loudspeakers' shares change with the ones that went; the levels belong
    // to the state recorded after the deletion.
    if (speakersRemoved)
        updateRelativeLevels();
    if (changed)
        appState->saveStateForUndo();
}

void ContentView::importDbprFile() {
    if (!presenter)
        return;
    auto file = presenter->chooseFileToOpen(PresenterFilePanel{
        .title = "Import .dbpr", .extensions = {}, .defaultName = {}, .typeName = "All Files"});
    if (!file || file->empty())
        return;
    if (file->extension() != ".dbpr") {
        presenter->showAlert(
            {PresenterAlert::Style::warning, "Unsupported File", "Please select a .dbpr file.", {}});
        return;
    }
    const Point zero = appState->zeroPoint;
    std::vector<SoundscapeSpeaker> speakers;
    try {
        speakers = importDBPR(*file, *appState, zoomLevel, zero.x, zero.y,
                              [] { ActionDispatcher::invoke(ActionDispatcher::getPositionsFromDS100); });
    } catch (const std::exception& error) {
        presenter->showAlert({PresenterAlert::Style::warning, "Import Failed", error.what(), {}});
        return;
    }
    appState->saveStateForUndo();
    appState->soundscapeSpeakers = std::move(speakers);
}

namespace {

// The picked audience area, or end() when none is picked or it is gone.
std::vector<AudienceArea>::const_iterator selectedAudienceArea(const AppState& state) {
    const auto& areas = state.audienceAreas.get();
    const auto selected = state.selectedAudienceAreaID.get();
    if (!selected)
        return areas.end();
    return std::find_if(areas.begin(), areas.end(), [&](const AudienceArea& a) { return a.id == *selected; });
}

} // namespace

void ContentView::deleteAudienceArea() {
    const auto& areas = appState->audienceAreas.get();
    auto it = selectedAudienceArea(*appState);
    if (it == areas.end())
        return;
    const auto index = it - areas.begin();
    appState->saveStateForUndo();
    appState->audienceAreas.update(
        [&](std::vector<AudienceArea>& list) { list.erase(list.begin() + index); });
    appState->selectedAudienceAreaID = std::nullopt;
    audienceAreasEdited();
    appState->saveStateForUndo(); // and after, as every area edit
}

void ContentView::duplicateAudienceArea() {
    auto it = selectedAudienceArea(*appState);
    if (it == appState->audienceAreas.get().end())
        return;
    AudienceArea copy{
        .id = platform::UUID::random(), .name = it->name + " Copy", .color = it->color, .nodesMeters = {}};
    for (const Point& node : it->nodesMeters)
        copy.nodesMeters.push_back({node.x + 1.0, node.y + 1.0});
    appState->saveStateForUndo();
    const auto id = copy.id;
    appState->audienceAreas.update([&](std::vector<AudienceArea>& list) { list.push_back(std::move(copy)); });
    appState->selectedAudienceAreaID = id;
    audienceAreasEdited();
    appState->saveStateForUndo(); // and after, as every area edit
}

void ContentView::removeAllAudienceAreas() {
    appState->saveStateForUndo();
    appState->audienceAreas = std::vector<AudienceArea>{};
    appState->selectedAudienceAreaID = std::nullopt;
    audienceAreasEdited();
    appState->saveStateForUndo(); // and after, as every area edit
}

void ContentView::audienceAreasEdited() {
    if (!appState->audienceAwarePanLaw)
        return;
    // Without areas the switch has nothing to weigh by: it goes off, and its watch sends.
    if (appState->audienceAreas->empty())
        appState->audienceAwarePanLaw = false;
    else
        updateRelativeLevels();
}

void ContentView::toggleObjectList() {
    showingObjectList = !showingObjectList.get();
}

void ContentView::openSettingsWindow() {
    if (presenter)
        presenter->showSettingsWindow(*this);
}

void ContentView::showSnapshotsWindow() {
    if (presenter)
        presenter->showSnapshotsWindow(*this);
}

void ContentView::showGroupsWindow() {
    if (presenter)
        presenter->showGroupsWindow(*this);
}
