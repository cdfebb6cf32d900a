#include "Sonavant/model/AudienceArea.h"
#include "Sonavant/model/ExportedFileDocument.h"
#include "Sonavant/model/NamedColor.h"
#include "Sonavant/model/ObjectGroup.h"
#include "Sonavant/model/Snapshot.h"
#include "Sonavant/model/SoundObject.h"
#include "Sonavant/model/SoundscapeSpeaker.h"
#include "Sonavant/model/Speaker.h"

#include "ModelTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

using platform::CodingError;
using platform::UUID;
using platform::Value;
using platform::ValueObject;

namespace {

MixingDesk desk() {
    MixingDesk d;
    d.inputName = "Input";
    d.inputColour = "blue";
    d.mixName = "Mix";
    d.mixColour = "green";
    d.mtxName = "Matrix";
    d.mtxColour = "orange";
    d.groupName = "Group";
    d.cueName = "Cue";
    return d;
}

// Encodes, writes, reads and decodes in both forms; both must give the same tree back.
template <class T> void expectRoundTrip(const T& record) {
    const Value tree = record.encode();
    EXPECT_EQ(T::decode(throughPropertyList(tree), "").encode(), tree);
    EXPECT_EQ(T::decode(throughJSON(tree), "").encode(), tree);
}

template <class T> void expectEveryKeyRequired(const T& record) {
    for (const auto& key : keysOf(record.encode())) {
        ValueObject tree = *record.encode().asObject();
        tree.erase(key);
        EXPECT_THROW(T::decode(Value(tree), ""), CodingError) << key;
    }
}

} // namespace

TEST(SoundObject, CreationNamesColoursAndPlaces) {
    const MixingDesk d = desk();
    SoundObject input("Input", 3, d, 1.5, -2, 100, {400, 300});
    EXPECT_EQ(input.name.get(), "Input 3");
    EXPECT_EQ(input.colour.get(), "blue");
    EXPECT_EQ(input.outlineColour.get(), "");
    EXPECT_EQ(input.position.get(), (Point{550, 500}));
    EXPECT_EQ(input.positionMeters.get(), (Point{1.5, -2}));

    SoundObject mix("Mix", 2, d, 0, 0, 100, {0, 0});
    EXPECT_EQ(mix.colour.get(), "blue");
    EXPECT_EQ(mix.outlineColour.get(), "green");
    MixingDesk noMixColour = d;
    noMixColour.mixColour.reset();
    mix.refreshColour(noMixColour);
    EXPECT_EQ(mix.outlineColour.get(), "");
    SoundObject cue("Cue", 1, d, 0, 0, 100, {0, 0});
    EXPECT_EQ(cue.colour.get(), "defaultColour"); // the desk names no cue colour

    // A kind the desk lacks: default colour; the generated name survives, unless the kind is
    // one of the fixed generated prefixes.
    SoundObject odd("FX Return", 4, d, 0, 0, 100, {0, 0});
    EXPECT_EQ(odd.colour.get(), "defaultColour");
    EXPECT_EQ(odd.name.get(), "FX Return 4");
    MixingDesk other = d;
    other.mixName = "Aux";
    SoundObject stray("Mix", 5, other, 0, 0, 100, {0, 0});
    EXPECT_EQ(stray.name.get(), "Input 5");
    stray.refreshName(d);
    EXPECT_EQ(stray.name.get(), "Mix 5");
    stray.type = "Bus";
    stray.refreshName(d);
    EXPECT_EQ(stray.name.get(), "Input 5");

    // Bad input never puts NaN into the record.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    SoundObject lost("Input", 1, d, nan, 2, 0, {400, 300});
    EXPECT_EQ(lost.positionMeters.get(), (Point{0, 2}));
    EXPECT_EQ(lost.position.get(), (Point{400, 100})); // zoom 0 counts as the default zoom
}

TEST(SoundObject, RefreshNameKeepsNamesTheOperatorTyped) {
    const MixingDesk d = desk();
    SoundObject o("Input", 7, d, 0, 0, 100, {0, 0});
    auto renamed = [&](const std::string& name) {
        o.name = name;
        o.refreshName(d);
        return o.name.get();
    };
    EXPECT_EQ(renamed("Mix 3"), "Input 7");
    EXPECT_EQ(renamed("  Cue   12 \n"), "Input 7");
    EXPECT_EQ(renamed("Input -4"), "Input 7");
    EXPECT_EQ(renamed("Vocals"), "Vocals");
    EXPECT_EQ(renamed("Mix 3 left"), "Mix 3 left");
    EXPECT_EQ(renamed("Mix three"), "Mix three");
    EXPECT_EQ(renamed("mix 3"), "mix 3");
    EXPECT_EQ(renamed("Mix 3.5"), "Mix 3.5");
    EXPECT_EQ(renamed("Mix 99999999999999999999"), "Mix 99999999999999999999");
    EXPECT_EQ(renamed("\xC2\xA0Mix 3\xE2\x80\xA8"), "Input 7"); // non-breaking space, line separator
}

TEST(SoundObject, CodingIdentityAndObservation) {
    const MixingDesk d = desk();
    auto o = std::make_shared<SoundObject>("Mix", 2, d, 1.25, 2.5, 80, Point{10, 20});
    expectRoundTrip(*o);
    expectEveryKeyRequired(*o);
    auto sortedKeys = SoundObject::codingKeys();
    std::sort(sortedKeys.begin(), sortedKeys.end());
    EXPECT_EQ(keysOf(o->encode()), sortedKeys);
    EXPECT_EQ(*o->encode().find("id"), Value(o->id.string()));
    EXPECT_EQ(*o->encode().find("position"), Value(platform::ValueArray{Value(110.0), Value(-180.0)}));

    // Equal by id alone.
    ValueObject tree = *o->encode().asObject();
    tree["name"] = "Something else";
    auto copy = SoundObject::decodeShared(Value(tree), "");
    EXPECT_TRUE(*copy == *o);
    EXPECT_FALSE(SoundObject("Mix", 2, d, 0, 0, 100, {0, 0}) == *o);

    // Shared objects code inside lists.
    std::vector<std::shared_ptr<SoundObject>> list{o, copy};
    auto back = platform::decodeValue<std::vector<std::shared_ptr<SoundObject>>>(
        throughJSON(platform::encodeValue(list)));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1]->name.get(), "Something else");

    // Changes are announced before they are visible.
    std::vector<std::pair<std::string, std::string>> seen;
    auto token = o->name.observe([&](const std::string& next) { seen.emplace_back(o->name.get(), next); });
    o->name = "Lead";
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], (std::pair<std::string, std::string>{"Mix 2", "Lead"}));
}

TEST(Speaker, CreationRefreshAndCoding) {
    const MixingDesk d = desk();
    Speaker mix(7, 1, 2, 70, 100, {400, 300}, 3, "Mix", d);
    EXPECT_EQ(mix.displayName, "Mix 3");
    EXPECT_EQ(mix.displayNumber, 3);
    EXPECT_EQ(mix.channelNumber, 3);
    EXPECT_EQ(mix.displayColour, "green");
    EXPECT_EQ(mix.position, (Point{500, 100}));
    EXPECT_EQ(mix.width, 70);
    EXPECT_FALSE(mix.isMuted);
    EXPECT_EQ(mix.focus, 0);
    EXPECT_EQ(mix.levelOffset, 0);

    Speaker group(8, 0, 0, 70, 100, {0, 0}, 2, "Group", d);
    EXPECT_EQ(group.displayName, "Group 2");
    EXPECT_EQ(group.displayColour, "defaultColour");
    Speaker other(9, 0, 0, 70, 100, {0, 0}, 4, "Sub", d);
    EXPECT_EQ(other.displayName, "Speaker 4");
    MixingDesk noMatrixColour = d;
    noMatrixColour.mtxColour.reset();
    Speaker matrix(10, 0, 0, 70, 100, {0, 0}, 1, "Matrix", noMatrixColour);
    EXPECT_EQ(matrix.displayColour, "defaultColour");

    matrix.channelNumber = 6;
    matrix.refreshName(d);
    EXPECT_EQ(matrix.displayName, "Matrix 6");
    matrix.displayName = "Stage";
    matrix.refreshName(d);
    EXPECT_EQ(matrix.displayName, "Stage");

    mix.isMuted = true;
    mix.levelOffset = -3.5;
    mix.focus = 45;
    expectRoundTrip(mix);
    expectEveryKeyRequired(mix);
    auto sortedKeys = Speaker::codingKeys();
    std::sort(sortedKeys.begin(), sortedKeys.end());
    EXPECT_EQ(keysOf(mix.encode()), sortedKeys);
}

TEST(Records, AreasGroupsSnapshotsAndDS100SpeakersCodeAndDecode) {
    AudienceArea area{UUID::random(), "Stalls", "teal", {{0, 0}, {4, 0}, {4, 3.5}}};
    expectRoundTrip(area);
    expectEveryKeyRequired(area);
    EXPECT_EQ(AudienceArea::decode(throughJSON(area.encode()), ""), area);
    AudienceArea empty{UUID::random(), "Empty", "red", {}};
    EXPECT_EQ(AudienceArea::decode(throughPropertyList(empty.encode()), ""), empty);
    AudienceArea reordered = area;
    std::swap(reordered.nodesMeters[0], reordered.nodesMeters[2]);
    EXPECT_NE(reordered, area);

    ObjectGroup group{UUID::random(), "Front fills", {1, 2, 3}, {UUID::random()}};
    expectRoundTrip(group);
    expectEveryKeyRequired(group);
    ObjectGroup none{UUID::random(), "None", {}, {}};
    expectRoundTrip(none);
    ValueObject badGroup = *group.encode().asObject();
    badGroup["soundObjectIDs"] = platform::ValueArray{Value("not a uuid")};
    EXPECT_THROW(ObjectGroup::decode(Value(badGroup), ""), CodingError);

    SoundscapeSpeaker ds{UUID::random(), 12, 1.25f, -0.1f, 33.3f};
    expectRoundTrip(ds);
    expectEveryKeyRequired(ds);
    EXPECT_EQ(SoundscapeSpeaker::decode(throughJSON(ds.encode()), "").y, -0.1f);

    const MixingDesk d = desk();
    std::vector<Speaker> speakers{Speaker(1, 2, 3, 60, 100, {0, 0}, 1, "Mix", d)};
    speakers[0].focus = 15;
    // Stored in metres, whatever zoom and zero point placed the objects.
    std::vector<std::shared_ptr<SoundObject>> objects{
        std::make_shared<SoundObject>("Input", 1, d, -1, 4, 37, Point{123, 456})};
    Snapshot snapshot;
    snapshot.number = 2;
    snapshot.name = "Snapshot 2";
    snapshot.recallTime = 2.5;
    snapshot.fill(speakers, objects);
    ASSERT_EQ(snapshot.speakerStates.size(), 1u);
    EXPECT_EQ(snapshot.speakerStates[0].position, (Point{2, 3}));
    EXPECT_EQ(snapshot.speakerStates[0].focus, 15);
    EXPECT_EQ(snapshot.speakerStates[0].width, 60);
    ASSERT_EQ(snapshot.soundObjectStates.size(), 1u);
    EXPECT_EQ(snapshot.soundObjectStates[0].position, (Point{-1, 4}));
    EXPECT_EQ(snapshot.soundObjectStates[0].soundObjectID, objects[0]->id);
    expectRoundTrip(snapshot);
    expectEveryKeyRequired(snapshot);
    expectEveryKeyRequired(snapshot.speakerStates[0]);
    expectEveryKeyRequired(snapshot.soundObjectStates[0]);
    expectRoundTrip(Snapshot{UUID::random(), 1, "Empty", 0, {}, {}});

    // One bad entry fails the whole snapshot, naming it.
    ValueObject tree = *snapshot.encode().asObject();
    (*tree["speakerStates"].asArray())[0].asObject()->erase("width");
    try {
        Snapshot::decode(Value(tree), "snapshots[0]");
        FAIL() << "bad entry accepted";
    } catch (const CodingError& e) {
        EXPECT_EQ(e.path(), "snapshots[0].speakerStates[0].width");
    }
    // Points are pairs, nothing else.
    EXPECT_THROW(Point::decode(Value(platform::ValueArray{Value(1.0)}), ""), CodingError);
    EXPECT_THROW(Point::decode(Value(ValueObject{{"x", 1.0}, {"y", 2.0}}), ""), CodingError);
}

TEST(NamedColours, LookupAndExportDocument) {
    EXPECT_EQ(colorNamed("red"), NamedColor::red);
    EXPECT_EQ(colorNamed("ReD"), NamedColor::red);
    EXPECT_EQ(colorNamed("INDIGO"), NamedColor::indigo);
    EXPECT_EQ(colorNamed("PIN\xE2\x84\xAA"), NamedColor::pink); // Kelvin sign lower-cases to k
    EXPECT_EQ(colorNamed("grey"), NamedColor::gray);
    EXPECT_EQ(colorNamed(""), NamedColor::gray);
    EXPECT_EQ(colorNamed("defaultColour"), NamedColor::gray);
    EXPECT_EQ(colorNamed("red "), NamedColor::gray);
    for (auto name : colourNames)
        EXPECT_EQ(colourName(colorNamed(name)), name);

    ExportedFileDocument document;
    EXPECT_TRUE(document.contents().empty());
    auto path =
        std::filesystem::temp_directory_path() / ("sonavant-export-" + UUID::random().string() + ".sonavant");
    { std::ofstream(path) << "old contents"; }
    EXPECT_FALSE(document.write(path));
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    std::filesystem::remove(path);
    EXPECT_TRUE(document.write(path.parent_path() / "no-such-folder-for-sonavant" / "x.sonavant"));
}
