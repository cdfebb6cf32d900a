// The path properties sheet's rules: loading, the number, time and target rules, Done and
// Delete Path, and that every accepted write reaches the cue list.

#include "support/CueViewFixture.h"

#include "Sonavant/ui/CueText.h"
#include "Sonavant/ui/PathPropertiesEditor.h"

using namespace cueedit;

namespace {

class PathPropertiesEditorTest : public CueEditingFixture {
protected:
    PathPropertiesEditor open(const std::shared_ptr<PathCue>& cue) {
        PathPropertiesEditor editor(*manager, cue);
        editor.loadValues();
        return editor;
    }
};

TEST(CueTextTest, FormatsAndParsesAsTheListAndSheetWriteThem) {
    EXPECT_EQ(cuetext::rowNumber(2.25), "2");
    EXPECT_EQ(cuetext::rowNumber(1.5), "2");
    EXPECT_EQ(cuetext::rowTime(5), "5.00");
    EXPECT_EQ(cuetext::fieldNumber(1), "1.0");
    EXPECT_EQ(cuetext::fieldNumber(2.5), "2.5");
    EXPECT_EQ(cuetext::fieldTime(2), "2.0");
    EXPECT_EQ(cuetext::fieldTime(0.25), "0.2"); // as printf rounds the binary value

    EXPECT_EQ(cuetext::parseDouble("2"), 2.0);
    EXPECT_EQ(cuetext::parseDouble("+2.5"), 2.5);
    EXPECT_EQ(cuetext::parseDouble("-.5"), -0.5);
    EXPECT_EQ(cuetext::parseDouble("1e1"), 10.0);
    EXPECT_EQ(cuetext::parseDouble("0x10"), 16.0);
    for (const char* bad : {"", " 2", "2 ", "2a", "abc", "+-2", "--2", "inf", "nan", "1e999", "0x", "2,5"})
        EXPECT_EQ(cuetext::parseDouble(bad), std::nullopt) << bad;

    EXPECT_EQ(cuetext::parseInteger("+7"), 7);
    EXPECT_EQ(cuetext::parseInteger("-9223372036854775808"), INT64_MIN);
    for (const char* bad : {"", "+", "1.0", " 1", "9223372036854775808", "1e2", "++1"})
        EXPECT_EQ(cuetext::parseInteger(bad), std::nullopt) << bad;

    EXPECT_EQ(cuetext::trimBlanks("\t 2\u00A0\u3000"), "2");
    EXPECT_EQ(cuetext::trimBlanks("\n2\n"), "\n2\n"); // line breaks stay
}

TEST_F(PathPropertiesEditorTest, LoadWritesTheCueAndItsTargetsWithTheMixPrefix) {
    auto input3 = addSource(3);
    auto mix3 = addSource(3, 0, 0, "Mix");
    auto gone = platform::UUID::random();
    auto cue = addCue(2, {mix3->id, gone, input3->id});
    cue->time = 7.25;
    cue->loop = true;
    cue->loopCount = 3;
    cue->relative = true;
    cue->triggerNext = TriggerNextOption::sequential;

    auto editor = open(cue);
    EXPECT_EQ(editor.numberString, "2.0");
    EXPECT_EQ(editor.timeString, "7.2");
    EXPECT_EQ(editor.name, "Cue 2");
    EXPECT_TRUE(editor.loop);
    EXPECT_EQ(editor.loopCountString, "3");
    EXPECT_EQ(editor.movementOption, "Relative");
    EXPECT_EQ(editor.triggerNext, TriggerNextOption::sequential);
    EXPECT_EQ(editor.targetsInput, "m3, 3");

    // The loaded text commits back to the same sources: "m3" is the mix, "3" the input,
    // though the mix comes first among the sources numbered 3.
    show->soundObjects = std::vector<std::shared_ptr<SoundObject>>{mix3, input3};
    editor.loadValues();
    EXPECT_EQ(editor.targetsInput, "m3, 3");
    EXPECT_TRUE(editor.validateTargets());
    EXPECT_EQ(cue->soundObjectIDs, (std::vector<platform::UUID>{mix3->id, input3->id}));
    EXPECT_EQ(editor.targetError, std::nullopt);

    // Without a desk there is no mix section: "m3" names nothing, a plain 3 the first source.
    show->selectedDesk = std::nullopt;
    editor.targetsInput = "m3";
    EXPECT_FALSE(editor.validateTargets());
    EXPECT_EQ(editor.targetError, "Invalid target(s): m3");
    editor.targetsInput = "3";
    EXPECT_TRUE(editor.validateTargets());
    EXPECT_EQ(cue->soundObjectIDs, std::vector<platform::UUID>{mix3->id});
}

TEST_F(PathPropertiesEditorTest, NumberAndTimeRulesRefuseWithTheirLinesAndShowTheStoredValue) {
    auto other = addCue(3);
    auto cue = addCue(2);
    auto editor = open(cue);
    platform::LogCapture log;

    editor.numberString = "2.0"; // its own number again
    EXPECT_TRUE(editor.validateNumber());
    editor.numberString = "3";
    EXPECT_FALSE(editor.validateNumber());
    EXPECT_TRUE(log.contains("Cue number 3 is invalid or not unique."));
    EXPECT_EQ(editor.numberString, "2.0");
    EXPECT_EQ(editor.numberError, "Cue number 3 is invalid or not unique.");
    for (const char* bad : {"0", "-1", " 4", "4 ", "four", "inf"}) {
        editor.numberString = bad;
        EXPECT_FALSE(editor.validateNumber()) << bad;
        EXPECT_EQ(cue->number, 2.0);
    }
    editor.numberString = "4.5";
    EXPECT_TRUE(editor.validateNumber());
    EXPECT_EQ(cue->number, 4.5);
    EXPECT_EQ(editor.numberString, "4.5");
    EXPECT_EQ(editor.numberError, std::nullopt);
    EXPECT_EQ(other->number, 3.0);

    cue->time = 4.0;
    for (const char* bad : {"0", "-2", "x", " 2"}) {
        editor.timeString = bad;
        EXPECT_FALSE(editor.validateTime()) << bad;
        EXPECT_EQ(editor.timeString, "4.0");
    }
    EXPECT_TRUE(log.contains("Cue time 0 is invalid."));
    EXPECT_EQ(editor.timeError, "Cue time  2 is invalid.");
    editor.timeString = "2";
    EXPECT_TRUE(editor.validateTime());
    EXPECT_EQ(cue->time, 2.0);
    EXPECT_EQ(editor.timeString, "2"); // as typed; the next load writes 2.0
    EXPECT_EQ(editor.errors(), std::vector<std::string>{});
    editor.loadValues();
    EXPECT_EQ(editor.timeString, "2.0");
}

TEST_F(PathPropertiesEditorTest, TargetsResolveByNumberAndARefusedCommitChangesNothing) {
    auto first2 = addSource(2);
    auto second2 = addSource(2);
    auto five = addSource(5);
    auto cue = addCue(1, {five->id});
    auto editor = open(cue);

    editor.targetsInput = " 2 ,, +5,\t,";
    EXPECT_TRUE(editor.validateTargets());
    EXPECT_EQ(cue->soundObjectIDs, (std::vector<platform::UUID>{first2->id, five->id}));
    EXPECT_FALSE(cue->hasError);
    (void)second2;

    // 9 does not exist and x is no number: both are listed, nothing is applied, and the
    // cue's error state stays that of the targets it keeps.
    editor.targetsInput = "2, 9, x";
    EXPECT_FALSE(editor.validateTargets());
    EXPECT_EQ(editor.targetError, "Invalid target(s): 9, x");
    EXPECT_EQ(cue->soundObjectIDs, (std::vector<platform::UUID>{first2->id, five->id}));
    EXPECT_FALSE(cue->hasError);
    editor.targetsInput = "9";
    EXPECT_FALSE(editor.validateTargets());
    EXPECT_FALSE(cue->hasError) << "the unapplied list must not mark the cue";

    editor.targetsInput = "";
    EXPECT_TRUE(editor.validateTargets());
    EXPECT_TRUE(cue->soundObjectIDs.empty());
    EXPECT_TRUE(cue->hasError);
    EXPECT_EQ(editor.targetError, std::nullopt);
}

TEST_F(PathPropertiesEditorTest, LeavingOutThePrimarySourceMakesTheCueRelativeAndDoneKeepsIt) {
    auto one = addSource(1);
    auto two = addSource(2);
    auto cue = addCue(1, {one->id, two->id});
    cue->primarySoundObjectID = one->id;
    auto editor = open(cue);
    ASSERT_EQ(editor.movementOption, "Absolute");

    editor.targetsInput = "2";
    EXPECT_TRUE(editor.validateTargets());
    EXPECT_TRUE(cue->relative);
    EXPECT_EQ(editor.movementOption, "Relative");
    EXPECT_TRUE(editor.applyChanges());
    EXPECT_TRUE(cue->relative);

    // The picker still rules afterwards.
    editor.movementChanged("Absolute");
    EXPECT_FALSE(cue->relative);
}

TEST_F(PathPropertiesEditorTest, DoneAppliesEverythingTypedAndStaysOpenOnARefusal) {
    auto one = addSource(1);
    auto two = addSource(2);
    addCue(7);
    auto cue = addCue(1, {one->id});
    auto announced = countAnnouncements();
    auto editor = open(cue);

    // Typed without Return: targets, name, loop and count, trigger next.
    editor.targetsInput = "1, 2";
    editor.name = "Entrance";
    editor.loop = true;
    editor.loopCountString = "3";
    editor.triggerNext = TriggerNextOption::simultaneous;
    editor.timeString = "6.5";
    EXPECT_TRUE(editor.applyChanges());
    EXPECT_EQ(cue->soundObjectIDs, (std::vector<platform::UUID>{one->id, two->id}));
    EXPECT_EQ(cue->name, "Entrance");
    EXPECT_EQ(cue->loopCount, 3);
    EXPECT_EQ(cue->time, 6.5);
    EXPECT_EQ(cue->triggerNext, TriggerNextOption::simultaneous);
    EXPECT_GT(announced(), 0) << "the rows must hear of the writes";

    // Counts that are no whole number of at least 1, or a loop switched off, drop the count.
    for (const char* count : {"", "0", "two"}) {
        editor.loopCountString = count;
        editor.applyChanges();
        EXPECT_EQ(cue->loopCount, std::nullopt) << count;
    }
    editor.loopCountString = "4";
    editor.loop = false;
    editor.applyChanges();
    EXPECT_EQ(cue->loopCount, std::nullopt);
    EXPECT_FALSE(cue->loop);

    // A refused number or target keeps the sheet open on its message; the rest applies.
    editor.numberString = "7";
    editor.targetsInput = "1, 8";
    editor.name = "Exit";
    EXPECT_FALSE(editor.applyChanges());
    EXPECT_EQ(cue->number, 1.0);
    EXPECT_EQ(cue->soundObjectIDs, (std::vector<platform::UUID>{one->id, two->id}));
    EXPECT_EQ(cue->name, "Exit");
    EXPECT_EQ(editor.errors(),
              (std::vector<std::string>{"Cue number 7 is invalid or not unique.", "Invalid target(s): 8"}));
    // Mended, the next Done closes.
    editor.targetsInput = "2";
    EXPECT_TRUE(editor.applyChanges());
    EXPECT_EQ(cue->soundObjectIDs, std::vector<platform::UUID>{two->id});
}

TEST_F(PathPropertiesEditorTest, DoneLeavesUntouchedTargetsAlone) {
    auto one = addSource(1);
    const auto stale = platform::UUID::random(); // a source the text cannot show
    auto cue = addCue(1, {one->id, stale});
    auto editor = open(cue);
    ASSERT_EQ(editor.targetsInput, "1");
    EXPECT_TRUE(editor.applyChanges());
    EXPECT_EQ(cue->soundObjectIDs, (std::vector<platform::UUID>{one->id, stale}));
}

TEST_F(PathPropertiesEditorTest, DeletePathEndsPlaybackAndSelectionOfTheCue) {
    auto one = addSource(1);
    auto keep = addCue(1, {one->id});
    auto cue = addCue(2, {one->id});
    manager->selectCue(keep, false);
    manager->selectCue(cue, true);
    manager->selectedCue = cue;
    manager->playPathCue(cue, 100, {}, std::nullopt);
    ASSERT_TRUE(manager->playingCueIDs->count(cue->id));
    platform::LogCapture log;

    auto editor = open(cue);
    AppState::clearHistory();
    editor.deletePath();
    ASSERT_EQ(AppState::undoStack.size(), 2u) << "the show is recorded before the cue goes and after";
    EXPECT_EQ(AppState::undoStack.front()->pathCues->size(), 2u);
    AppState::clearHistory();
    EXPECT_TRUE(log.contains("Deleting path: Cue 2"));
    EXPECT_EQ(manager->pathCues.get(), std::vector<std::shared_ptr<PathCue>>{keep});
    EXPECT_FALSE(manager->playingCueIDs->count(cue->id));
    EXPECT_FALSE(manager->playbackSessions.count(cue->id));
    EXPECT_EQ(manager->selectedCueIDs.get(), std::set<platform::UUID>{keep->id});
    EXPECT_NE(manager->selectedCue.get(), cue);

    // Writes into a cue no longer listed announce nothing.
    auto announced = countAnnouncements();
    editor.name = "Gone";
    editor.commitName();
    EXPECT_EQ(announced(), 0);
}

} // namespace
