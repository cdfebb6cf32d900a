#include "Sonavant/ui/InputSheetModel.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

struct InputSheet : ::testing::Test, HeadlessView {
    MixingDesk desk = [] {
        MixingDesk d = sheetDesk();
        d.mixSendEnabled = true;
        return d;
    }();
    std::shared_ptr<SoundObject> add(std::int64_t number, std::string type = "Input") {
        auto source = std::make_shared<SoundObject>(std::move(type), number, desk, 0, 0, 100, Point{0, 0});
        show->soundObjects.update([&](auto& list) { list.push_back(source); });
        return source;
    }
    void SetUp() override { view.selectedDesk = desk; }
};

TEST_F(InputSheet, OffersMixInputAndCueKindsAsTheDeskEnablesThem) {
    auto source = add(1);
    InputSheetModel model(view, source->id);
    EXPECT_EQ(model.availableTypes(), (std::vector<std::string>{"Mix", "Input"}));
    desk.mixName.reset();
    desk.cueModeEnabled = true;
    view.selectedDesk = desk;
    EXPECT_EQ(model.availableTypes(), (std::vector<std::string>{"Mix", "Input", "Cue"}));
    desk.mixSendEnabled.reset();
    desk.cueName = "PFL";
    view.selectedDesk = desk;
    EXPECT_EQ(model.availableTypes(), (std::vector<std::string>{"Input", "PFL"}));
    view.selectedDesk = std::nullopt;
    EXPECT_FALSE(model.isAvailable());
}

TEST_F(InputSheet, NumberCheckRangeAndUseByAnotherSourceOfTheSameKind) {
    auto edited = add(3);
    add(5);
    add(6, "Mix");
    InputSheetModel model(view, edited->id);
    model.appear();
    EXPECT_TRUE(model.canSave());

    model.setNumber(0);
    EXPECT_EQ(edited->number.get(), 0) << "stored all the same";
    EXPECT_EQ(model.numberValidationMessage(), "Number out of range (1-64).");
    EXPECT_FALSE(model.canSave());
    model.setNumber(65);
    EXPECT_EQ(model.numberValidationMessage(), "Number out of range (1-64).");
    model.setNumber(5);
    EXPECT_EQ(model.numberValidationMessage(), "Number already in use for type Input!");
    EXPECT_EQ(edited->name.get(), "Input 5") << "a generated name follows the number";
    model.setNumber(6); // a Mix uses 6
    EXPECT_TRUE(model.canSave());
    model.setNumber(6); // its own number
    EXPECT_TRUE(model.canSave());

    EXPECT_FALSE(model.setNumberText("six"));
    EXPECT_FALSE(model.setNumberText(""));
    EXPECT_EQ(edited->number.get(), 6);
    EXPECT_TRUE(model.setNumberText("64"));
    EXPECT_EQ(edited->number.get(), 64);
}

TEST_F(InputSheet, ATakenNumberShowsNoMessageUntilChangedAndClearsWhenTheConflictGoes) {
    auto edited = add(4);
    auto other = add(4);
    InputSheetModel model(view, edited->id);
    model.appear();
    EXPECT_TRUE(model.canSave());
    model.setNumber(4);
    EXPECT_FALSE(model.canSave());
    other->number = 9; // a remote command or undo moves the other one
    model.recheck();
    EXPECT_TRUE(model.canSave());
}

TEST_F(InputSheet, ADeskWithoutInputsKeepsTheStepperUsableAndRejectsEveryNumber) {
    desk.inputsNum = 0;
    view.selectedDesk = desk;
    auto edited = add(1);
    InputSheetModel model(view, edited->id);
    EXPECT_EQ(model.stepperMin(), 1);
    EXPECT_EQ(model.stepperMax(), 1);
    EXPECT_EQ(model.numberStep(1, 1), 1);
    model.setNumber(1);
    EXPECT_EQ(model.numberValidationMessage(), "Number out of range (1-0).");

    desk.inputsNum = 64;
    view.selectedDesk = desk;
    EXPECT_EQ(model.numberStep(64, 1), 64);
    EXPECT_EQ(model.numberStep(1, -1), 1);
    EXPECT_EQ(model.numberStep(0, -1), 1);
    EXPECT_EQ(model.numberStep(80, 1), 64);
}

TEST_F(InputSheet, AChangeOfKindRenamesOnlyGeneratedNames) {
    auto edited = add(3);
    InputSheetModel model(view, edited->id);
    model.appear();
    model.setType("Mix");
    EXPECT_EQ(edited->name.get(), "Mix 3");
    EXPECT_EQ(edited->type.get(), "Mix");
    EXPECT_EQ(edited->outlineColour.get(), "green");
    model.setType("Input");
    EXPECT_EQ(edited->name.get(), "Input 3") << "the kind it had last is the one compared";

    edited->name = "  Input 3 ";
    model.setType("Mix");
    EXPECT_EQ(edited->name.get(), "Mix 3") << "blanks only matter for the comparison";

    for (const char* own : {"Lead vocal", "Input Kick", "Input 3 vocals", "Mixer"}) {
        model.setType("Input");
        edited->name = own;
        model.setType("Mix");
        EXPECT_EQ(edited->name.get(), own);
    }
    EXPECT_EQ(InputSheetModel::renamedForType("Input 3", "", "Mix", 3), std::nullopt);
    EXPECT_EQ(InputSheetModel::renamedForType("Input 12", "Input", "Cue", 4), "Cue 4");
}

TEST_F(InputSheet, EditsFollowTheIdAcrossUndoAndStopWhenTheSourceGoes) {
    AppState::clearHistory();
    auto edited = add(3);
    show->saveStateForUndo();
    InputSheetModel model(view, edited->id);
    model.appear();
    model.setName("Vocals");
    show->undo(); // brings back fresh copies of the sources
    auto restored = model.source();
    ASSERT_TRUE(restored);
    EXPECT_NE(restored.get(), edited.get());
    model.setName("Choir");
    EXPECT_EQ(restored->name.get(), "Choir");
    EXPECT_EQ(edited->name.get(), "Vocals") << "the copy that left the show is not edited";

    show->soundObjects = std::vector<std::shared_ptr<SoundObject>>{};
    EXPECT_FALSE(model.isAvailable());
    model.setNumber(7); // nothing to write to, nothing fails
    model.setType("Mix");
    AppState::clearHistory();
}

} // namespace
