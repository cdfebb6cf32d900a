// A show file written by hand in each form, every field of every record at a value of its
// own: opening it gives each field that value, and saving the show again writes exactly the
// file's keys and values. Round trips alone would pass a writer and a reader that agree on
// carrying one field under another field's key.

#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "platform/Serialization.h"
#include "platform/UserDefaults.h"

#include "ModelTestSupport.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using platform::UUID;
using platform::Value;

namespace {

fs::path dataFile(const std::string& name) {
    return sourceDir() / "tests" / "Sonavant" / "model" / "data" / name;
}

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

UUID uuid(const char* text) {
    return *UUID::parse(text);
}

const UUID lead = uuid("A1A1A1A1-0000-4000-8000-000000000001");
const UUID choir = uuid("B2B2B2B2-0000-4000-8000-000000000002");

// Reports where two documents part: a key on one side only, or another value at a path.
void expectSameDocument(const Value& expected, const Value& actual, const std::string& path) {
    if (expected.asObject() && actual.asObject()) {
        for (const auto& [key, value] : *expected.asObject()) {
            const Value* written = actual.find(key);
            if (!written)
                ADD_FAILURE() << path << "." << key << " was not written";
            else
                expectSameDocument(value, *written, path + "." + key);
        }
        for (const auto& [key, value] : *actual.asObject())
            if (!expected.find(key))
                ADD_FAILURE() << path << "." << key << " was written but is not in the file";
        return;
    }
    if (expected.asArray() && actual.asArray() && expected.asArray()->size() == actual.asArray()->size()) {
        for (std::size_t i = 0; i < expected.asArray()->size(); ++i)
            expectSameDocument((*expected.asArray())[i], (*actual.asArray())[i],
                               path + "[" + std::to_string(i) + "]");
        return;
    }
    EXPECT_TRUE(expected == actual) << path << " was written as " << platform::writeJSON(actual)
                                    << ", the file says " << platform::writeJSON(expected);
}

void expectEveryField(const AppState& s) {
    ASSERT_EQ(s.speakers->size(), 1u);
    const Speaker& speaker = s.speakers->front();
    EXPECT_EQ(speaker.id, 7);
    EXPECT_EQ(speaker.position, (Point{567.5, 678.25}));
    EXPECT_EQ(speaker.positionMeters, (Point{5.625, -6.125}));
    EXPECT_EQ(speaker.displayNumber, 9);
    EXPECT_EQ(speaker.type, "Mix Kind");
    EXPECT_EQ(speaker.displayColour, "red");
    EXPECT_EQ(speaker.channelNumber, 21);
    EXPECT_EQ(speaker.displayName, "Left fill");
    EXPECT_TRUE(speaker.isMuted);
    EXPECT_EQ(speaker.levelOffset, -4.5);
    EXPECT_EQ(speaker.focus, 135.5);
    EXPECT_EQ(speaker.width, 95.5);

    ASSERT_EQ(s.soundObjects->size(), 2u);
    const SoundObject& a = *s.soundObjects->at(0);
    EXPECT_EQ(a.id, lead);
    EXPECT_EQ(a.position.get(), (Point{123.5, 234.25}));
    EXPECT_EQ(a.positionMeters.get(), (Point{1.125, -2.375}));
    EXPECT_EQ(a.name.get(), "Lead vocal");
    EXPECT_EQ(a.colour.get(), "orange");
    EXPECT_EQ(a.outlineColour.get(), "yellow");
    EXPECT_EQ(a.number.get(), 17);
    EXPECT_EQ(a.type.get(), "Input Kind");
    const SoundObject& b = *s.soundObjects->at(1);
    EXPECT_EQ(b.id, choir);
    EXPECT_EQ(b.position.get(), (Point{345.5, 456.25}));
    EXPECT_EQ(b.positionMeters.get(), (Point{-3.625, 4.875}));
    EXPECT_EQ(b.name.get(), "Choir");
    EXPECT_EQ(b.colour.get(), "teal");
    EXPECT_EQ(b.outlineColour.get(), "");
    EXPECT_EQ(b.number.get(), 18);
    EXPECT_EQ(b.type.get(), "Cue Kind");

    ASSERT_EQ(s.groups->size(), 1u);
    const ObjectGroup& group = s.groups->front();
    EXPECT_EQ(group.id, uuid("C3C3C3C3-0000-4000-8000-000000000003"));
    EXPECT_EQ(group.name, "Downstage pair");
    EXPECT_EQ(group.speakerIDs, std::vector<std::int64_t>{7});
    EXPECT_EQ(group.soundObjectIDs, std::vector<UUID>{choir});

    ASSERT_EQ(s.snapshots->size(), 1u);
    const Snapshot& snapshot = s.snapshots->front();
    EXPECT_EQ(snapshot.id, uuid("D4D4D4D4-0000-4000-8000-000000000004"));
    EXPECT_EQ(snapshot.number, 6);
    EXPECT_EQ(snapshot.name, "Interval");
    EXPECT_EQ(snapshot.recallTime, 3.75);
    ASSERT_EQ(snapshot.speakerStates.size(), 1u);
    EXPECT_EQ(snapshot.speakerStates[0].speakerID, 7);
    EXPECT_EQ(snapshot.speakerStates[0].position, (Point{433.5, 544.25}));
    EXPECT_EQ(snapshot.speakerStates[0].focus, 33.5);
    EXPECT_EQ(snapshot.speakerStates[0].width, 44.5);
    ASSERT_EQ(snapshot.soundObjectStates.size(), 1u);
    EXPECT_EQ(snapshot.soundObjectStates[0].soundObjectID, lead);
    EXPECT_EQ(snapshot.soundObjectStates[0].position, (Point{211.5, 322.25}));

    ASSERT_TRUE(s.selectedDesk->has_value());
    const MixingDesk& desk = **s.selectedDesk;
    EXPECT_EQ(desk.id, uuid("E5E5E5E5-0000-4000-8000-000000000005"));
    EXPECT_EQ(desk.brand, "Brand Co");
    EXPECT_EQ(desk.name, "Desk Inside");
    EXPECT_EQ(desk.displayName, "Desk Shown");
    EXPECT_EQ(desk.defaultPort, 40123);
    EXPECT_FALSE(desk.OSCFloat);
    EXPECT_EQ(desk.inputsNum, 61);
    EXPECT_EQ(desk.inputColour, "cyan");
    EXPECT_EQ(desk.inputName, "Input Kind");
    EXPECT_EQ(desk.mixEnabled, true);
    EXPECT_EQ(desk.mixSendEnabled, false);
    EXPECT_EQ(desk.mixName, "Mix Kind");
    EXPECT_EQ(desk.mixNum, 23);
    EXPECT_EQ(desk.mixColour, "indigo");
    EXPECT_EQ(desk.mixOSCLevel, "/mix/{m}/level");
    EXPECT_EQ(desk.mixOSCLevelRange, (DeskRangeTexts{"-85", "15"}));
    EXPECT_EQ(desk.mixOSCMute, "/mix/{m}/mute");
    EXPECT_EQ(desk.mixOSCUnMute, "/mix/{m}/unmute");
    EXPECT_EQ(desk.mixOSCSend, "/in/{n}/mix/{m}");
    EXPECT_EQ(desk.mixOSCSendRange, (DeskRangeTexts{"-86", "16"}));
    EXPECT_EQ(desk.mixOSCSendToMtx, "/mix/{n}/mtx/{m}");
    EXPECT_EQ(desk.mixOSCSendToMtxRange, (DeskRangeTexts{"-87", "17"}));
    EXPECT_EQ(desk.mixToMix, true);
    EXPECT_EQ(desk.cueModeEnabled, true);
    EXPECT_EQ(desk.cueName, "Cue Kind");
    EXPECT_EQ(desk.cueColour, "pink");
    EXPECT_EQ(desk.cueOSC, "/cue/{n}/send/{m}");
    EXPECT_EQ(desk.cueRange, (DeskRangeTexts{"-81", "11"}));
    EXPECT_EQ(desk.groupEnabled, true);
    EXPECT_EQ(desk.groupName, "Group Kind");
    EXPECT_EQ(desk.groupNum, 9);
    EXPECT_EQ(desk.groupColour, "brown");
    EXPECT_EQ(desk.groupOSCLevel, "/group/{m}/level");
    EXPECT_EQ(desk.groupOSCLevelRange, (DeskRangeTexts{"-82", "12"}));
    EXPECT_EQ(desk.groupOSCMute, "/group/{m}/mute");
    EXPECT_EQ(desk.groupOSCUnMute, "/group/{m}/unmute");
    EXPECT_EQ(desk.groupOSCSendOn, "/group/{n}/send/{m}/on");
    EXPECT_EQ(desk.groupOSCSendOff, "/group/{n}/send/{m}/off");
    EXPECT_EQ(desk.groupOSCSendToMix, "/group/{n}/tomix/{m}");
    EXPECT_EQ(desk.groupOSCSendToMixRange, (DeskRangeTexts{"-83", "13"}));
    EXPECT_EQ(desk.groupOSCSendToMtx, "/group/{n}/tomtx/{m}");
    EXPECT_EQ(desk.groupOSCSendToMtxRange, (DeskRangeTexts{"-84", "14"}));
    EXPECT_EQ(desk.mtxEnabled, false);
    EXPECT_EQ(desk.mtxName, "Matrix Kind");
    EXPECT_EQ(desk.mtxNum, 5);
    EXPECT_EQ(desk.mtxColour, "mint");
    EXPECT_EQ(desk.mtxOSCLevel, "/mtx/{m}/level");
    EXPECT_EQ(desk.mtxOSCLevelRange, (DeskRangeTexts{"-88", "18"}));
    EXPECT_EQ(desk.mtxOSCMute, "/mtx/{m}/mute");
    EXPECT_EQ(desk.mtxOSCUnMute, "/mtx/{m}/unmute");
    EXPECT_EQ(desk.mtxOSCSend, "/in/{n}/mtx/{m}");
    EXPECT_EQ(desk.mtxOSCSendRange, (DeskRangeTexts{"-89", "19"}));
    EXPECT_EQ(desk.positionOSC, "/pos/{n}");
    EXPECT_EQ(desk.inputToMtx, true);
    EXPECT_FALSE(desk.UDP);

    EXPECT_FALSE(s.oscOutputOn.get());
    EXPECT_EQ(s.targetDeskIP.get(), "127.0.0.9");
    EXPECT_EQ(s.targetPort.get(), "40124");
    EXPECT_FALSE(s.showZeroPoint.get());
    EXPECT_EQ(s.range.get(), 8.25);
    EXPECT_EQ(s.minLevel.get(), 12);
    EXPECT_EQ(s.maxLevel.get(), 88);
    EXPECT_TRUE(s.minMaxRelitive.get());

    ASSERT_EQ(s.pathCues->size(), 1u);
    const PathCue& cue = *s.pathCues->front();
    EXPECT_EQ(cue.id, uuid("F6F6F6F6-0000-4000-8000-000000000006"));
    EXPECT_EQ(cue.name, "Crossing");
    EXPECT_EQ(cue.time, 6.25);
    EXPECT_EQ(cue.soundObjectIDs, (std::vector<UUID>{lead, choir}));
    EXPECT_EQ(cue.nodesMeters, (std::vector<Point>{{0.5, -1.25}, {2.75, 3.5}}));
    EXPECT_EQ(cue.number, 3.5);
    EXPECT_TRUE(cue.hasError);
    EXPECT_EQ(cue.primarySoundObjectID, lead);
    EXPECT_EQ(cue.objectOffsets, (std::map<UUID, Point>{{choir, {-0.625, 1.875}}}));
    EXPECT_TRUE(cue.loop);
    EXPECT_EQ(cue.loopCount, 4);
    EXPECT_EQ(cue.triggerNext, TriggerNextOption::simultaneous);
    EXPECT_TRUE(cue.relative);
    EXPECT_TRUE(cue.triggerOnMTC);
    EXPECT_EQ(cue.mtcTriggerTime, "01:02:03:04");
    EXPECT_EQ(cue.baseZoomLevel, 85.5);

    EXPECT_EQ(s.zeroPoint.get(), (Point{401.5, 602.25}));
    EXPECT_EQ(s.zeroPointPosition.get(), ZeroPointPosition::topRight);
    EXPECT_TRUE(s.isSoundScapeMode.get());
    EXPECT_EQ(s.receivePort.get(), "7011");
    EXPECT_EQ(s.backgroundImageURL.get(), "file:///shows/plans/ground-floor.png");
    EXPECT_TRUE(s.showBackgroundImage.get());
    EXPECT_EQ(s.backgroundImageOffset.get(), (Point{31.5, -17.25}));
    EXPECT_EQ(s.backgroundImageScale.get(), 1.375);

    ASSERT_EQ(s.soundscapeSpeakers->size(), 1u);
    const SoundscapeSpeaker& ds = s.soundscapeSpeakers->front();
    EXPECT_EQ(ds.id, uuid("0A0A0A0A-0000-4000-8000-000000000007"));
    EXPECT_EQ(ds.speakerNumber, 14);
    EXPECT_EQ(ds.x, 1.25f);
    EXPECT_EQ(ds.y, -2.75f);
    EXPECT_EQ(ds.rotation, 33.5f);

    EXPECT_EQ(s.freezeStates.get(), (PerSourcePerSpeaker<bool>{{lead, {{7, true}}}}));
    EXPECT_EQ(s.muteStates.get(), (PerSourcePerSpeaker<bool>{{choir, {{7, true}}}}));
    EXPECT_EQ(s.canvasOrientation.get(), CanvasOrientation::left);
    EXPECT_EQ(s.backgroundImageRotation.get(), 12.75);
    EXPECT_FALSE(s.showSidebar.get());
    EXPECT_FALSE(s.constantPowerPan.get());
    EXPECT_EQ(s.panningMode.get(), PanningMode::sine);
    EXPECT_TRUE(s.showSpeakerFocus.get());
    EXPECT_TRUE(s.showSpeakerCoverage.get());
    EXPECT_EQ(s.defaultSpeakerWidth.get(), 57.5);

    ASSERT_EQ(s.audienceAreas->size(), 1u);
    const AudienceArea& area = s.audienceAreas->front();
    EXPECT_EQ(area.id, uuid("1B1B1B1B-0000-4000-8000-000000000008"));
    EXPECT_EQ(area.name, "Balcony");
    EXPECT_EQ(area.color, "purple");
    EXPECT_EQ(area.nodesMeters, (std::vector<Point>{{-4.5, 6.25}, {3.75, 6.5}, {2.125, 9.875}}));
    EXPECT_EQ(s.selectedAudienceAreaID.get(), area.id);
    EXPECT_TRUE(s.isEditingAudienceArea.get());
    EXPECT_TRUE(s.audienceAwarePanLaw.get());
}

class HandWrittenShowFile : public ::testing::TestWithParam<const char*> {};

TEST_P(HandWrittenShowFile, OpensWithEveryFieldAtItsValueAndSavesExactlyItsKeysAndValues) {
    const fs::path file = dataFile(GetParam());
    const bool json = file.extension() == ".json";
    support::TempFolder folder;
    platform::UserDefaults defaults(folder.path() / "defaults");
    AppStatePersistence persistence(folder.path(), defaults);

    auto show = persistence.loadState(file);
    ASSERT_TRUE(show) << file << " does not open";
    expectEveryField(*show);

    std::string written;
    ASSERT_NO_THROW(written = AppStatePersistence::encodeState(*show, folder / GetParam()));
    const std::string original = contents(file);
    const Value expected = json ? platform::readJSON(original) : platform::readPropertyList(original);
    const Value actual = json ? platform::readJSON(written) : platform::readPropertyList(written);
    expectSameDocument(expected, actual, json ? "" : "(container)");
}

INSTANTIATE_TEST_SUITE_P(BothForms, HandWrittenShowFile,
                         ::testing::Values("every-field.json", "every-field.sonavant"), [](const auto& info) {
                             return std::string(info.param).ends_with(".json") ? "JSON" : "PropertyList";
                         });

} // namespace
