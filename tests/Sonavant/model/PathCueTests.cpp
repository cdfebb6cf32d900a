#include "Sonavant/cues/PathCue.h"

#include "ModelTestSupport.h"

#include <gtest/gtest.h>

using platform::CodingError;
using platform::UUID;
using platform::Value;
using platform::ValueArray;
using platform::ValueObject;

namespace {

PathCue bareCue() {
    return PathCue(UUID::random(), "Cue 1", 3.0, {UUID::random()}, {{1, 2}, {3, 4}}, 1.0, std::nullopt,
                   std::nullopt, false, std::nullopt, TriggerNextOption::none, false);
}

} // namespace

TEST(PathCue, OptionalKeysAndDefaults) {
    auto cue = bareCue();
    EXPECT_FALSE(cue.hasError);
    EXPECT_FALSE(cue.triggerOnMTC);
    EXPECT_EQ(cue.mtcTriggerTime, "00:00:00:00");
    EXPECT_EQ(cue.baseZoomLevel, 100.0);

    Value coded = cue.encode();
    auto keys = keysOf(coded);
    EXPECT_EQ(keys, (std::vector<std::string>{"baseZoomLevel", "hasError", "id", "loop", "mtcTriggerTime",
                                              "name", "nodesMeters", "number", "relative", "soundObjectIDs",
                                              "time", "triggerNext", "triggerOnMTC"}));
    EXPECT_EQ(*coded.find("nodesMeters"), Value(ValueArray{ValueArray{1.0, 2.0}, ValueArray{3.0, 4.0}}));

    auto& object = *coded.asObject();
    object.erase("triggerOnMTC");
    object.erase("mtcTriggerTime");
    object.erase("baseZoomLevel");
    object["hasError"] = true;
    auto back = PathCue::decode(coded, "");
    EXPECT_FALSE(back.primarySoundObjectID);
    EXPECT_FALSE(back.objectOffsets);
    EXPECT_FALSE(back.loopCount);
    EXPECT_FALSE(back.triggerOnMTC);
    EXPECT_EQ(back.mtcTriggerTime, "00:00:00:00");
    EXPECT_EQ(back.baseZoomLevel, 100.0);
    EXPECT_TRUE(back.hasError); // stored, not reset by decoding
    EXPECT_EQ(back.id, cue.id);
}

TEST(PathCue, FullRoundTripThroughBothForms) {
    UUID a = UUID::random(), b = UUID::random();
    PathCue cue(UUID::random(), "Spiral", 12.25, {a, b}, {{0, 0}, {-1.5, 2.75}}, 3.5, a,
                std::map<UUID, Point>{{b, Point{0.5, -0.25}}}, true, 4, TriggerNextOption::simultaneous, true,
                true, "00:01:02:03", 150.0);
    Value coded = cue.encode();
    // A dictionary with UUID keys codes as one list alternating key and value.
    EXPECT_EQ(*coded.find("objectOffsets"), Value(ValueArray{Value(b.string()), ValueArray{0.5, -0.25}}));
    EXPECT_EQ(*coded.find("triggerNext"), Value("simultaneous"));
    for (const Value& written : {throughPropertyList(coded), throughJSON(coded)}) {
        auto back = PathCue::decode(written, "");
        EXPECT_EQ(back.encode(), coded);
        EXPECT_EQ(back.objectOffsets, cue.objectOffsets);
        EXPECT_EQ(back.loopCount, 4);
        EXPECT_EQ(back.triggerNext, TriggerNextOption::simultaneous);
    }
}

TEST(PathCue, BadValuesFailTheDecode) {
    Value coded = bareCue().encode();
    for (const char* key : {"id", "name", "time", "soundObjectIDs", "nodesMeters", "number", "hasError",
                            "loop", "triggerNext", "relative"}) {
        Value copy = coded;
        copy.asObject()->erase(key);
        EXPECT_THROW(PathCue::decode(copy, ""), CodingError) << key;
    }
    Value copy = coded;
    (*copy.asObject())["triggerNext"] = "Sequential";
    EXPECT_THROW(PathCue::decode(copy, ""), CodingError);
    copy = coded;
    (*copy.asObject())["objectOffsets"] = ValueArray{Value(UUID::random().string())};
    EXPECT_THROW(PathCue::decode(copy, ""), CodingError);
    copy = coded;
    (*copy.asObject())["objectOffsets"] = ValueArray{Value("not a uuid"), ValueArray{1.0, 2.0}};
    EXPECT_THROW(PathCue::decode(copy, ""), CodingError);
    copy = coded;
    (*copy.asObject())["nodesMeters"] = ValueArray{ValueArray{1.0, 2.0}, ValueArray{3.0}};
    try {
        PathCue::decode(copy, "cue");
        ADD_FAILURE() << "decoded a node of one number";
    } catch (const CodingError& e) {
        EXPECT_EQ(e.path(), "cue.nodesMeters[1]");
    }
    EXPECT_EQ(triggerNextOptionFromRawValue("none"), TriggerNextOption::none);
    EXPECT_FALSE(triggerNextOptionFromRawValue("None"));
}

TEST(PathCue, CanvasNodesFollowTheOrientation) {
    PathCue cue = bareCue();
    cue.nodesMeters = {{1, 2}};
    auto top = cue.canvasNodes(CanvasOrientation::top, {0, 0}, 100);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_NEAR(top[0].x, 100, 1e-9);
    EXPECT_NEAR(top[0].y, -200, 1e-9);
    auto bottom = cue.canvasNodes(CanvasOrientation::bottom, {0, 0}, 100);
    EXPECT_NEAR(bottom[0].x, -100, 1e-9);
    EXPECT_NEAR(bottom[0].y, 200, 1e-9);
    auto right = cue.canvasNodes(CanvasOrientation::right, {400, 300}, 100);
    EXPECT_NEAR(right[0].x, 600, 1e-9);
    EXPECT_NEAR(right[0].y, 400, 1e-9);
    cue.nodesMeters.clear();
    EXPECT_TRUE(cue.canvasNodes(CanvasOrientation::left, {5, 5}, 100).empty());
}
