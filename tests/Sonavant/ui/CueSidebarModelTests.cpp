// The cue sidebar's rules: row states, one click handler, moving rows, the header's flags
// and the commands.

#include "support/CueViewFixture.h"

#include "Sonavant/ui/CueSidebarModel.h"

using namespace cueedit;

namespace {

class CueSidebarModelTest : public CueEditingFixture {};

TEST_F(CueSidebarModelTest, ClicksSelectAtOnceShiftTogglesAndDoubleClicksOpenTheSheet) {
    auto one = addSource(1);
    auto a = addCue(1, {one->id});
    auto b = addCue(2, {one->id});
    auto broken = addCue(3); // no target
    CueSidebarModel model(*view);

    model.rowClicked(b->id, false);
    EXPECT_EQ(manager->selectedCueIDs.get(), std::set<platform::UUID>{b->id});
    EXPECT_EQ(manager->selectedCue.get(), b);
    model.rowClicked(a->id, true);
    EXPECT_EQ(manager->selectedCueIDs.get(), (std::set<platform::UUID>{a->id, b->id}));
    model.rowClicked(b->id, true);
    EXPECT_EQ(manager->selectedCueIDs.get(), std::set<platform::UUID>{a->id});
    model.rowClicked(a->id, true);
    EXPECT_TRUE(manager->selectedCueIDs->empty());
    EXPECT_EQ(manager->selectedCue.get(), nullptr);

    // A cue without targets is selectable, so it can be deleted.
    model.rowClicked(broken->id, false);
    EXPECT_EQ(manager->selectedCueIDs.get(), std::set<platform::UUID>{broken->id});
    model.deleteSelectedCues();
    EXPECT_EQ(manager->pathCues.get(), (std::vector<std::shared_ptr<PathCue>>{a, b}));

    // The double click opens the sheet and leaves the selection as the first click made it.
    model.rowClicked(a->id, false);
    model.rowDoubleClicked(a->id);
    EXPECT_EQ(view->cueForProperties.get(), a);
    EXPECT_EQ(presenter->pathCueSheets, 1);
    EXPECT_EQ(manager->selectedCueIDs.get(), std::set<platform::UUID>{a->id});
    view->dismissPathCueSheet();
    EXPECT_EQ(view->cueForProperties.get(), nullptr);
}

TEST_F(CueSidebarModelTest, RowStatesFollowPlaybackSelectionErrorAndMovement) {
    auto one = addSource(1);
    auto cue = addCue(1, {one->id});
    CueSidebarModel model(*view);
    EXPECT_EQ(model.rowState(*cue), CueRowState{});
    cue->relative = true;
    manager->selectCue(cue, false);
    EXPECT_EQ(model.rowState(*cue), (CueRowState{false, true, false, true}));
    manager->playPathCue(cue, 100, {}, std::nullopt);
    EXPECT_EQ(model.rowState(*cue), (CueRowState{true, true, false, true}));
    manager->stopAllPlayback(); // which also empties the selection
    manager->selectCue(cue, false);
    cue->hasError = true;
    EXPECT_EQ(model.rowState(*cue), (CueRowState{false, true, true, true}));
}

TEST_F(CueSidebarModelTest, MovingRowsReordersTheCueListAsAListMoveDoes) {
    const std::vector<int> list{0, 1, 2, 3, 4};
    EXPECT_EQ(movedList(list, {0}, 3), (std::vector<int>{1, 2, 0, 3, 4}));
    EXPECT_EQ(movedList(list, {4}, 0), (std::vector<int>{4, 0, 1, 2, 3}));
    EXPECT_EQ(movedList(list, {1, 3}, 5), (std::vector<int>{0, 2, 4, 1, 3}));
    EXPECT_EQ(movedList(list, {2}, 2), list);
    EXPECT_EQ(movedList(list, {2}, 3), list);
    EXPECT_EQ(movedList(list, {9}, 0), list);

    EXPECT_EQ(CueSidebarModel::dropIndex({10, 30, 50}, 0), 0u);
    EXPECT_EQ(CueSidebarModel::dropIndex({10, 30, 50}, 31), 2u);
    EXPECT_EQ(CueSidebarModel::dropIndex({10, 30, 50}, 99), 3u);

    auto a = addCue(1), b = addCue(2), c = addCue(3);
    CueSidebarModel model(*view);
    EXPECT_TRUE(model.moveRows({2}, 0));
    EXPECT_EQ(manager->pathCues.get(), (std::vector<std::shared_ptr<PathCue>>{c, a, b}));
    EXPECT_FALSE(model.moveRows({0}, 1));
}

TEST_F(CueSidebarModelTest, HeaderFlagsAndCommands) {
    CueSidebarModel model(*view);
    EXPECT_TRUE(model.showsDeskButtons());
    show->selectedDesk = std::nullopt;
    EXPECT_TRUE(model.showsDeskButtons());
    MixingDesk ds100 = desk;
    ds100.displayName = "D&B Soundscape";
    show->selectedDesk = ds100;
    EXPECT_FALSE(model.showsDeskButtons());

    EXPECT_EQ(model.audienceAreaHelp(), "Edit Audience Areas");
    model.toggleAudienceAreaEditing();
    EXPECT_TRUE(show->isEditingAudienceArea.get());
    EXPECT_EQ(model.audienceAreaHelp(), "Exit Audience Area Edit Mode");

    const bool expanded = model.isExpanded();
    model.toggleSidebar();
    EXPECT_NE(model.isExpanded(), expanded);

    model.openMixer();
    EXPECT_EQ(presenter->mixerRequests, 1);
}

} // namespace
