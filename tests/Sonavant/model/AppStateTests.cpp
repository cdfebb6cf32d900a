#include "Sonavant/model/AppState.h"

#include "AppStateTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace appstate_test;
using platform::CodingError;
using platform::Null;
using platform::Value;
using platform::ValueObject;

namespace {

ValueObject encodedObject(const AppState& state) {
    return *state.encode().asObject();
}

std::shared_ptr<AppState> decodeObject(const ValueObject& object) {
    return AppState::decode(Value(object), "");
}

} // namespace

TEST(AppState, WritesItsKeysWithNullsAndKeyedPoints) {
    auto s = fullShow();
    auto keys = AppState::codingKeys();
    ASSERT_EQ(keys.size(), 37u);
    auto object = encodedObject(*s);
    std::vector<std::string> written;
    for (const auto& [k, _] : object)
        written.push_back(k);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(written, keys);
    EXPECT_EQ(object["zeroPoint"], Value(ValueObject{{"x", 400.0}, {"y", 600.0}}));
    EXPECT_EQ(object["canvasOrientation"], Value("right"));
    EXPECT_EQ(object["panningMode"], Value("Sine Curved"));
    EXPECT_EQ(object["zeroPointPosition"], Value("Center"));

    auto fresh = encodedObject(*firstLaunchState());
    EXPECT_TRUE(fresh.at("selectedDesk").isNull());
    EXPECT_TRUE(fresh.at("backgroundImageURL").isNull());
    EXPECT_EQ(fresh.count("selectedAudienceAreaID"), 0u);
    EXPECT_EQ(fresh.size(), 36u);
    auto back = decodeObject(fresh);
    EXPECT_FALSE(back->selectedDesk->has_value());
    EXPECT_FALSE(back->backgroundImageURL->has_value());
}

TEST(AppState, AbsentOrNullOptionalKeysTakeTheirFallbacks) {
    const char* optional[] = {"groups",
                              "snapshots",
                              "selectedDesk",
                              "backgroundImageURL",
                              "soundscapeSpeakers",
                              "freezeStates",
                              "muteStates",
                              "showSidebar",
                              "constantPowerPan",
                              "panningMode",
                              "showSpeakerFocus",
                              "showSpeakerCoverage",
                              "defaultSpeakerWidth",
                              "audienceAreas",
                              "selectedAudienceAreaID",
                              "isEditingAudienceArea",
                              "audienceAwarePanLaw"};
    for (bool asNull : {false, true}) {
        SCOPED_TRACE(asNull ? "null" : "absent");
        auto object = encodedObject(*fullShow());
        for (auto key : optional) {
            if (asNull)
                object[key] = Value(Null{});
            else
                object.erase(key);
        }
        auto s = decodeObject(object);
        EXPECT_TRUE(s->groups->empty());
        EXPECT_TRUE(s->snapshots->empty());
        EXPECT_FALSE(s->selectedDesk->has_value());
        EXPECT_FALSE(s->backgroundImageURL->has_value());
        EXPECT_TRUE(s->soundscapeSpeakers->empty());
        EXPECT_TRUE(s->freezeStates->empty());
        EXPECT_TRUE(s->muteStates->empty());
        EXPECT_TRUE(s->showSidebar);
        EXPECT_TRUE(s->constantPowerPan);
        EXPECT_EQ(s->panningMode.get(), PanningMode::constantPower);
        EXPECT_FALSE(s->showSpeakerFocus);
        EXPECT_FALSE(s->showSpeakerCoverage);
        EXPECT_EQ(s->defaultSpeakerWidth, 70.0);
        EXPECT_TRUE(s->audienceAreas->empty());
        EXPECT_FALSE(s->selectedAudienceAreaID->has_value());
        EXPECT_FALSE(s->isEditingAudienceArea);
        EXPECT_FALSE(s->audienceAwarePanLaw);
        EXPECT_EQ(s->range, 7.5); // the required fields are still read
    }
}

TEST(AppState, RequiredKeysAndEnumerationTexts) {
    const char* required[] = {"speakers",
                              "soundObjects",
                              "oscOutputOn",
                              "targetDeskIP",
                              "targetPort",
                              "showZeroPoint",
                              "range",
                              "minLevel",
                              "maxLevel",
                              "minMaxRelitive",
                              "pathCues",
                              "zeroPoint",
                              "zeroPointPosition",
                              "isSoundScapeMode",
                              "receivePort",
                              "showBackgroundImage",
                              "backgroundImageOffset",
                              "backgroundImageScale",
                              "canvasOrientation",
                              "backgroundImageRotation"};
    for (auto key : required) {
        SCOPED_TRACE(key);
        auto object = encodedObject(*fullShow());
        object.erase(key);
        try {
            decodeObject(object);
            ADD_FAILURE() << "decoded without a required key";
        } catch (const CodingError& e) {
            EXPECT_EQ(e.reason(), CodingError::Reason::keyNotFound);
        }
    }

    auto object = encodedObject(*fullShow());
    object["zeroPointPosition"] = Value("Centre");
    object["zeroPoint"] = Value(ValueObject{{"x", 12.5}});
    object["backgroundImageOffset"] = Value(ValueObject{});
    auto s = decodeObject(object);
    EXPECT_EQ(s->zeroPointPosition.get(), ZeroPointPosition::bottomLeft);
    EXPECT_EQ(s->zeroPoint.get(), (Point{12.5, 0}));
    EXPECT_EQ(s->backgroundImageOffset.get(), (Point{0, 0}));

    object["canvasOrientation"] = Value("Top");
    EXPECT_THROW(decodeObject(object), CodingError);
    object = encodedObject(*fullShow());
    object["panningMode"] = Value("constant power");
    EXPECT_THROW(decodeObject(object), CodingError);
    object = encodedObject(*fullShow());
    object["zeroPointPosition"] = Value(3);
    EXPECT_THROW(decodeObject(object), CodingError);
    object = encodedObject(*fullShow());
    object["minLevel"] = Value(10.5);
    EXPECT_THROW(decodeObject(object), CodingError);
    object = encodedObject(*fullShow());
    object["muteStates"] = Value(platform::ValueArray{Value(fullShow()->soundObjects->front()->id.string()),
                                                      Value(ValueObject{{"two", true}})});
    EXPECT_THROW(decodeObject(object), CodingError);
}

TEST(AppState, CodingLosesOnlyTheRunOnlyFields) {
    auto s = fullShow();
    const auto source = s->soundObjects->front();
    s->mixerLevels = PerSourcePerSpeaker<double>{{source->id, {{1, 0.5}}}};
    s->selectedSoundObject = source;
    s->showGrid = true;

    auto back = AppState::decode(s->encode(), "");
    EXPECT_TRUE(back->mixerLevels->empty());
    EXPECT_EQ(back->selectedSoundObject.get(), nullptr);
    EXPECT_FALSE(back->showGrid);
    EXPECT_EQ(back->encode(), s->encode());
    EXPECT_EQ(back->freezeStates.get(), s->freezeStates.get());
    EXPECT_EQ(back->muteStates.get(), s->muteStates.get());
    EXPECT_EQ(back->selectedAudienceAreaID.get(), s->selectedAudienceAreaID.get());
    EXPECT_EQ(back->soundObjects->at(1)->name.get(), "Lead vocal");
    EXPECT_EQ(back->pathCues->front()->objectOffsets, s->pathCues->front()->objectOffsets);
}

TEST(AppState, LoadCopiesAndAnnouncesEveryFieldAndRecordsTheShowBeforeIt) {
    HistoryReset reset;
    auto live = firstLaunchState();
    live->saveStateForUndo();
    live->range = 9;
    live->undo(); // leaves a way forward, which the Open ends as any recorded change does
    ASSERT_EQ(AppState::redoStack.size(), 1u);
    live->showGrid = true;
    live->mixerLevels = PerSourcePerSpeaker<double>{{platform::UUID::random(), {{1, 0.5}}}};

    int announced = 0;
    std::vector<platform::Subscription> subscriptions;
    auto count = [&](auto& field) {
        subscriptions.push_back(field.observe([&](const auto&) { ++announced; }));
    };
    count(live->speakers), count(live->soundObjects), count(live->groups), count(live->snapshots);
    count(live->selectedDesk), count(live->oscOutputOn), count(live->targetDeskIP), count(live->targetPort);
    count(live->showZeroPoint), count(live->range), count(live->minLevel), count(live->maxLevel);
    count(live->minMaxRelitive), count(live->pathCues), count(live->audienceAreas);
    count(live->selectedAudienceAreaID), count(live->isEditingAudienceArea), count(live->zeroPoint);
    count(live->zeroPointPosition), count(live->isSoundScapeMode), count(live->receivePort);
    count(live->backgroundImageURL), count(live->showBackgroundImage), count(live->backgroundImageOffset);
    count(live->backgroundImageScale), count(live->soundscapeSpeakers), count(live->mixerLevels);
    count(live->selectedSoundObject), count(live->freezeStates), count(live->muteStates),
        count(live->showGrid);
    count(live->canvasOrientation), count(live->backgroundImageRotation), count(live->showSidebar);
    count(live->constantPowerPan), count(live->panningMode), count(live->showSpeakerFocus);
    count(live->showSpeakerCoverage), count(live->defaultSpeakerWidth), count(live->audienceAwarePanLaw);
    ASSERT_EQ(subscriptions.size(), 40u);

    auto document = AppState::decode(fullShow()->encode(), "");
    ASSERT_FALSE(document->oscOutputOn);
    ASSERT_TRUE(live->oscOutputOn);
    live->load(*document);
    // Every field but the output switch, which stays as the operator set it.
    EXPECT_EQ(announced, 39);
    EXPECT_TRUE(live->oscOutputOn);
    EXPECT_FALSE(live->showGrid);
    EXPECT_TRUE(live->mixerLevels->empty());
    document->oscOutputOn = true;
    EXPECT_EQ(live->encode(), document->encode());
    ASSERT_EQ(AppState::undoStack.size(), 1u);
    EXPECT_EQ(AppState::undoStack.back()->range, 5.0);
    EXPECT_TRUE(AppState::redoStack.empty());
}
