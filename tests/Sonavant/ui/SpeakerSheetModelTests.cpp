#include "Sonavant/ui/NumberFieldText.h"
#include "Sonavant/ui/SpeakerSheetModel.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace uitest;

namespace {

struct SpeakerSheet : ::testing::Test, HeadlessView {
    Speaker record(std::int64_t id) { return *view.speakerWithID(id); }
};

TEST_F(SpeakerSheet, OffersTheDesksEnabledOutputKindsWithStandInNames) {
    SpeakerSheetModel model(view, 1);
    EXPECT_TRUE(model.availableTypes().empty()) << "no desk";
    MixingDesk d = sheetDesk();
    view.selectedDesk = d;
    EXPECT_EQ(model.availableTypes(), (std::vector<std::string>{"Mix", "Matrix"}));
    d.mixName.reset();
    d.mtxEnabled.reset();
    view.selectedDesk = d;
    EXPECT_EQ(model.availableTypes(), std::vector<std::string>{"Mix"});
    d.mixEnabled = false;
    view.selectedDesk = d;
    EXPECT_TRUE(model.availableTypes().empty());
}

TEST_F(SpeakerSheet, AppearingMovesAnUnofferedTypeToTheFirstKindAndItsLowestFreeChannel) {
    view.selectedDesk = sheetDesk();
    show->speakers = std::vector{speaker(1, "Mix", 1), speaker(2, "Mix", 2), speaker(3, "Group", 2),
                                 speaker(4, "Group", 7, "Stage left")};
    SpeakerSheetModel generated(view, 3);
    generated.appear();
    EXPECT_EQ(record(3).type, "Mix");
    EXPECT_EQ(record(3).channelNumber, 3);
    EXPECT_EQ(record(3).displayNumber, 3);
    EXPECT_EQ(record(3).displayName, "Mix 3");
    EXPECT_EQ(record(3).displayColour, "green");
    EXPECT_FALSE(generated.validationError());

    SpeakerSheetModel named(view, 4);
    named.appear();
    EXPECT_EQ(record(4).channelNumber, 4);
    EXPECT_EQ(record(4).displayName, "Stage left") << "the operator's name stays";

    // An offered type is left alone, even on a taken channel; validation speaks at once.
    show->speakers.update([](auto& l) { l[1].channelNumber = 1; });
    SpeakerSheetModel taken(view, 2);
    taken.appear();
    EXPECT_EQ(record(2).channelNumber, 1);
    EXPECT_EQ(taken.validationError(), "Channel 1 for Mix is already in use.");
    EXPECT_FALSE(taken.canClose());
}

TEST_F(SpeakerSheet, AFullKindGetsTheNumberAboveItsCountAndIsFlaggedAtOnce) {
    view.selectedDesk = sheetDesk(4, 8);
    std::vector<Speaker> speakers;
    for (int c = 1; c <= 4; ++c)
        speakers.push_back(speaker(c, "Mix", c));
    speakers.push_back(speaker(9, "Group", 1));
    show->speakers = speakers;
    SpeakerSheetModel model(view, 9);
    model.appear();
    EXPECT_EQ(record(9).channelNumber, 5);
    EXPECT_EQ(model.validationError(), "Channel 5 is out of valid range [1...4]");
    EXPECT_FALSE(model.canClose());
}

TEST_F(SpeakerSheet, TypeAndChannelChangesRecolourRenameAndValidate) {
    view.selectedDesk = sheetDesk();
    show->speakers = std::vector{speaker(1, "Mix", 3), speaker(2, "Matrix", 3)};
    SpeakerSheetModel model(view, 1);
    model.appear();
    EXPECT_FALSE(model.validationError());

    model.setType("Matrix"); // keeps its channel, which the other matrix uses
    EXPECT_EQ(record(1).channelNumber, 3);
    EXPECT_EQ(record(1).displayName, "Matrix 3");
    EXPECT_EQ(record(1).displayColour, "orange");
    EXPECT_EQ(model.validationError(), "Channel 3 for Matrix is already in use.");

    model.setChannel(60); // beyond the stepper and the desk: stored, then judged
    EXPECT_EQ(record(1).channelNumber, 60);
    EXPECT_EQ(record(1).displayNumber, 60);
    EXPECT_EQ(record(1).displayName, "Matrix 60");
    EXPECT_EQ(model.validationError(), "Channel 60 is out of valid range [1...8]");

    EXPECT_TRUE(model.setChannelText(" 5 "));
    EXPECT_EQ(record(1).channelNumber, 5);
    EXPECT_TRUE(model.canClose());

    // Text that is not a whole number leaves the record as it was.
    for (const char* text : {"", "abc", "5x", "2.5", "--3", "+-3", "99999999999999999999"})
        EXPECT_FALSE(model.setChannelText(text)) << text;
    for (const char* text : {"", "abc", "5x", "7,5", "--3", "nan", "inf", "1e999"})
        EXPECT_FALSE(model.setWidthText(text)) << text;
    EXPECT_EQ(record(1).channelNumber, 5);
    EXPECT_EQ(record(1).width, 70);
    EXPECT_TRUE(model.setWidthText("72.5"));
    EXPECT_EQ(record(1).width, 72.5);
}

TEST_F(SpeakerSheet, EditsFollowTheIdWhenTheListChangesUnderTheSheet) {
    view.selectedDesk = sheetDesk();
    show->speakers = std::vector{speaker(1, "Mix", 1), speaker(2, "Mix", 2)};
    SpeakerSheetModel model(view, 2);
    model.appear();
    // An import or undo puts another loudspeaker where this one was.
    show->speakers = std::vector{speaker(7, "Mix", 5), speaker(1, "Mix", 1), speaker(2, "Mix", 2)};
    model.setDisplayName("Delay tower");
    model.setFocus(-45.7);
    EXPECT_EQ(record(2).displayName, "Delay tower");
    EXPECT_EQ(record(2).focus, -45.7);
    EXPECT_EQ(record(7).displayName, "Mix 5");

    show->speakers = std::vector{speaker(1, "Mix", 1)};
    EXPECT_FALSE(model.isAvailable());
    model.setChannel(9); // nothing to write to: no other loudspeaker is touched
    model.setType("Matrix");
    EXPECT_EQ(show->speakers->size(), 1u);
    EXPECT_EQ(record(1).channelNumber, 1);
    EXPECT_EQ(record(1).type, "Mix");
}

TEST_F(SpeakerSheet, StepperLabelAndEnableRules) {
    EXPECT_EQ(SpeakerSheetModel::channelStep(1, -1), 1);
    EXPECT_EQ(SpeakerSheetModel::channelStep(47, 1), 48);
    EXPECT_EQ(SpeakerSheetModel::channelStep(48, 1), 48);
    EXPECT_EQ(SpeakerSheetModel::channelStep(60, -1), 48);
    EXPECT_EQ(SpeakerSheetModel::channelStep(0, 1), 1);
    EXPECT_EQ(SpeakerSheetModel::widthStepFrom(355, 1), 360);
    EXPECT_EQ(SpeakerSheetModel::widthStepFrom(5, -1), 5);
    EXPECT_EQ(SpeakerSheetModel::widthStepFrom(72.5, 1), 77.5);

    EXPECT_EQ(SpeakerSheetModel::focusLabel(-45.7), "-45\u00BA");
    EXPECT_EQ(SpeakerSheetModel::focusLabel(-0.5), "0\u00BA");
    EXPECT_EQ(SpeakerSheetModel::focusLabel(180), "180\u00BA");
    EXPECT_EQ(SpeakerSheetModel::focusLabel(std::nan("")), "\u2013\u00BA");

    SpeakerSheetModel model(view, 1);
    show->showSpeakerCoverage = false;
    show->showSpeakerFocus = true;
    EXPECT_FALSE(model.coverageEditable());
    EXPECT_TRUE(model.focusEditable());
}

TEST(NumberFieldText, ShortestTextsAndCLocaleParsing) {
    EXPECT_EQ(decimalNumberFieldText(70), "70");
    EXPECT_EQ(decimalNumberFieldText(72.5), "72.5");
    EXPECT_EQ(decimalNumberFieldText(-0.0), "0");
    EXPECT_EQ(parseWholeNumberField("+12"), 12);
    EXPECT_EQ(parseWholeNumberField("-3"), -3);
    EXPECT_EQ(parseWholeNumberField("+-3"), std::nullopt);
    EXPECT_EQ(parseDecimalNumberField("1e2"), 100);
    EXPECT_EQ(parseDecimalNumberField("72,5"), std::nullopt);
}

} // namespace
