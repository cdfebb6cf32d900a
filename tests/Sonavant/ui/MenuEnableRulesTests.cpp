// The menu's enable rules, read from the live show: SoundScape mode swaps the mixer for the
// DS100 items, fade cues need exactly the "QLab 5" desk, the history decides undo and redo,
// and nothing that reads the show is on before the show exists.

#include "Sonavant/model/AppState.h"
#include "Sonavant/ui/MenuEnableRules.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

namespace {

class MenuEnableRulesTest : public ::testing::Test {
protected:
    void SetUp() override { AppState::clearHistory(); }
    void TearDown() override { AppState::clearHistory(); }
};

TEST_F(MenuEnableRulesTest, WithoutAShowEverythingThatReadsItIsOff) {
    const auto states = MenuEnableRules::states(MenuEnableRules::inputsFrom(nullptr));
    EXPECT_FALSE(states.undo || states.redo || states.showMixer || states.getPositionsFromDS100 ||
                 states.getSpeakersFromDS100 || states.generateFadeCues || states.openRecentItems);
}

TEST_F(MenuEnableRulesTest, SoundScapeAndDeskNameDecideMixerDS100AndFadeCues) {
    auto show = support::emptyShow();
    struct Row {
        bool soundScape;
        std::optional<std::string> deskName;
        bool mixer, ds100, fadeCues;
    };
    for (const Row& row :
         {Row{false, std::nullopt, true, false, false}, Row{true, std::nullopt, false, true, false},
          Row{false, "QLab 5", true, false, true}, Row{false, "qlab 5", true, false, false},
          Row{false, "QLab 5 ", true, false, false}, Row{false, "QLab 4", true, false, false},
          Row{true, "QLab 5", false, true, true}}) {
        SCOPED_TRACE(row.deskName.value_or("(none)"));
        show->isSoundScapeMode = row.soundScape;
        if (row.deskName) {
            MixingDesk desk = support::mixDesk(*row.deskName, 8);
            desk.displayName = "QLab 5"; // the display name plays no part
            show->selectedDesk = desk;
        } else {
            show->selectedDesk = std::nullopt;
        }
        const auto states = MenuEnableRules::states(MenuEnableRules::inputsFrom(show.get()));
        EXPECT_EQ(states.showMixer, row.mixer);
        EXPECT_EQ(states.getPositionsFromDS100, row.ds100);
        EXPECT_EQ(states.getSpeakersFromDS100, row.ds100);
        EXPECT_EQ(states.generateFadeCues, row.fadeCues);
        EXPECT_FALSE(states.showMixer && states.getPositionsFromDS100) << "never both";
    }
}

TEST_F(MenuEnableRulesTest, UndoAndRedoFollowTheHistory) {
    auto show = support::emptyShow();
    auto read = [&] { return MenuEnableRules::states(MenuEnableRules::inputsFrom(show.get())); };
    EXPECT_FALSE(read().undo);
    EXPECT_FALSE(read().redo);
    show->saveStateForUndo();
    show->range = 9.0;
    EXPECT_TRUE(read().undo);
    EXPECT_FALSE(read().redo);
    show->undo();
    EXPECT_FALSE(read().undo);
    EXPECT_TRUE(read().redo);
}

TEST_F(MenuEnableRulesTest, RecentTitlesAreFileNamesInStoredOrderDuplicatesKept) {
    EXPECT_EQ(MenuEnableRules::recentFileTitles(
                  {"/shows/a/Gala.sonavant", "/shows/b/Gala.sonavant", "/tmp/x.json", "/tmp/folder/"}),
              (std::vector<std::string>{"Gala.sonavant", "Gala.sonavant", "x.json", "folder"}));
    EXPECT_TRUE(MenuEnableRules::recentFileTitles({}).empty());
}

} // namespace
