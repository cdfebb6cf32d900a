#pragma once
// Shows for the show-state tests: first-launch values, a show with every field filled, and
// a temporary folder.

#include "Sonavant/model/AppState.h"
#include "platform/UUID.h"
#include "support/ShowFixtures.h"
#include "support/TempFolder.h"

#include <memory>
#include <string>

namespace appstate_test {

inline MixingDesk testDesk() {
    return support::acmeDesk({.oscFloat = true});
}

// The values the application starts with when there is no autosave.
inline std::shared_ptr<AppState> firstLaunchState() {
    return support::emptyShow();
}

// Every coded field away from its initial value.
inline std::shared_ptr<AppState> fullShow() {
    const MixingDesk desk = testDesk();
    const Point zero{400, 600};
    std::vector<Speaker> speakers{support::mixSpeakerAt(1, desk, 1.5, 2.25, zero),
                                  support::mixSpeakerAt(2, desk, -3.125, 4, zero, 90)};
    speakers[1].focus = 45.5;
    speakers[1].levelOffset = -3;
    speakers[1].isMuted = true;
    auto a = support::inputAt(1, desk, 0.5, 1.0, zero);
    auto b = support::inputAt(2, desk, -2.0, 3.75, zero);
    b->name = "Lead vocal";

    ObjectGroup group;
    group.name = "Front";
    group.speakerIDs = {1, 2};
    group.soundObjectIDs = {a->id};
    Snapshot snapshot;
    snapshot.number = 1;
    snapshot.name = "Snapshot 1";
    snapshot.recallTime = 2.5;
    snapshot.fill(speakers, {a, b});

    auto cue = std::make_shared<PathCue>(platform::UUID::random(), "Sweep", 4.5, std::vector{a->id, b->id},
                                         std::vector<Point>{{0, 0}, {1.5, 2}, {3, -1}}, 2.5, a->id,
                                         std::map<platform::UUID, Point>{{b->id, Point{-2.5, 2.75}}}, true, 3,
                                         TriggerNextOption::sequential, true, true, "01:02:03:04", 80.0);

    auto state = std::make_shared<AppState>(
        speakers, std::vector{a, b}, std::vector{group}, std::vector{snapshot}, desk, false, "192.168.1.20",
        "10023", false, 7.5, 10, 90, true, std::vector{cue}, zero, ZeroPointPosition::center, true, "7000",
        std::string("file:///home/op/plan.png"), true, Point{1.5, -2.5}, 125.0, CanvasOrientation::right,
        12.5, false, false, PanningMode::sine);

    AudienceArea area;
    area.name = "Stalls";
    area.color = "teal";
    area.nodesMeters = {{0, 0}, {5, 0}, {5, 4}};
    state->audienceAreas = std::vector{area};
    state->selectedAudienceAreaID = area.id;
    state->isEditingAudienceArea = true;
    SoundscapeSpeaker ds;
    ds.speakerNumber = 4;
    ds.x = 1.25f;
    ds.y = -2.5f;
    ds.rotation = 90.0f;
    state->soundscapeSpeakers = std::vector{ds};
    state->freezeStates = PerSourcePerSpeaker<bool>{{a->id, {{1, true}, {2, false}}}};
    state->muteStates = PerSourcePerSpeaker<bool>{{b->id, {{2, true}}}};
    state->showSpeakerFocus = true;
    state->showSpeakerCoverage = true;
    state->defaultSpeakerWidth = 55.0;
    state->audienceAwarePanLaw = true;
    return state;
}

using support::TempFolder;

// Each history test starts from an empty history.
struct HistoryReset {
    HistoryReset() { AppState::clearHistory(); }
    ~HistoryReset() { AppState::clearHistory(); }
};

} // namespace appstate_test
