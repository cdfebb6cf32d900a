#pragma once
// Shows for the show-state tests: first-launch values, a show with every field filled, and
// a temporary folder.

#include "Sonavant/model/AppState.h"
#include "platform/UUID.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace appstate_test {

inline MixingDesk testDesk() {
    MixingDesk d;
    d.brand = "Acme";
    d.name = "Acme 48";
    d.displayName = "Acme 48";
    d.defaultPort = 10023;
    d.OSCFloat = true;
    d.inputsNum = 48;
    d.inputColour = "blue";
    d.inputName = "Input";
    d.mixEnabled = true;
    d.mixName = "Mix";
    d.mixNum = 16;
    d.mixColour = "green";
    d.mixOSCSend = "/ch/{n}/mix/{m}/level";
    d.mixOSCSendRange = DeskRangeTexts{"-90", "10"};
    d.UDP = true;
    return d;
}

// The values the application starts with when there is no autosave.
inline std::shared_ptr<AppState> firstLaunchState() {
    return std::make_shared<AppState>(
        std::vector<Speaker>{}, std::vector<std::shared_ptr<SoundObject>>{}, std::vector<ObjectGroup>{},
        std::vector<Snapshot>{}, std::nullopt, true, "127.0.0.1", "49900", true, 5.0, 0, 100, false,
        std::vector<std::shared_ptr<PathCue>>{}, Point{0, 0}, ZeroPointPosition::bottomLeft, false, "6000",
        std::nullopt, false, Point{0, 0}, 100.0, CanvasOrientation::top, 0.0, true, true,
        PanningMode::constantPower);
}

// Every coded field away from its initial value.
inline std::shared_ptr<AppState> fullShow() {
    const MixingDesk desk = testDesk();
    const Point zero{400, 600};
    std::vector<Speaker> speakers{Speaker(1, 1.5, 2.25, 70, 100, zero, 1, "Mix", desk),
                                  Speaker(2, -3.125, 4, 90, 100, zero, 2, "Mix", desk)};
    speakers[1].focus = 45.5;
    speakers[1].levelOffset = -3;
    speakers[1].isMuted = true;
    auto a = std::make_shared<SoundObject>("Input", 1, desk, 0.5, 1.0, 100, zero);
    auto b = std::make_shared<SoundObject>("Input", 2, desk, -2.0, 3.75, 100, zero);
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

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sonavant-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Each history test starts from an empty history.
struct HistoryReset {
    HistoryReset() { AppState::clearHistory(); }
    ~HistoryReset() { AppState::clearHistory(); }
};

} // namespace appstate_test
