#include "Sonavant/engine/SelectionKeys.h"
#include "Sonavant/ui/GroupRules.h"
#include "Sonavant/ui/GroupsViewState.h"
#include "Sonavant/ui/SnapshotEditMode.h"
#include "Sonavant/ui/ToolPalette.h"

#include <gtest/gtest.h>

namespace {

const auto R = *platform::UUID::parse("00000000-0000-4000-8000-00000000000A");
const auto S = *platform::UUID::parse("00000000-0000-4000-8000-00000000000B");
const auto src = *platform::UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

std::vector<std::string> labels(const std::vector<ToolPalette::Button>& buttons) {
    std::vector<std::string> out;
    for (const auto& b : buttons)
        out.push_back(b.label);
    return out;
}

} // namespace

TEST(SnapshotEditModeTest, TransitionTable) {
    struct Row {
        const char* name;
        std::function<void(SnapshotEditMode&)> setup, event;
        std::optional<platform::UUID> editing, selected, focused;
    };
    auto idle = [](SnapshotEditMode&) {};
    auto editingR = [](SnapshotEditMode& m) { m.pencil(R); };
    const Row rows[] = {
        {"idle, tap R", idle, [](auto& m) { m.tapRow(R); }, std::nullopt, R, std::nullopt},
        {"idle, pencil R", idle, [](auto& m) { m.pencil(R); }, R, std::nullopt, R},
        {"idle, tap empty", idle, [](auto& m) { m.tapEmptyArea(true); }, std::nullopt, std::nullopt,
         std::nullopt},
        {"editing R, pencil R", editingR, [](auto& m) { m.pencil(R); }, std::nullopt, R, R},
        {"editing R, pencil S", editingR, [](auto& m) { m.pencil(S); }, S, std::nullopt, S},
        {"editing R, Return in R", editingR, [](auto& m) { m.returnPressed(R); }, std::nullopt, std::nullopt,
         R},
        {"editing R, focus away", editingR, [](auto& m) { m.focusChanged(std::nullopt); }, std::nullopt,
         std::nullopt, std::nullopt},
        {"editing R, focus stays", editingR, [](auto& m) { m.focusChanged(R); }, R, std::nullopt, R},
        {"editing R, tap empty", editingR, [](auto& m) { m.tapEmptyArea(true); }, std::nullopt, std::nullopt,
         R},
        {"editing R gone, tap empty", editingR, [](auto& m) { m.tapEmptyArea(false); }, R, std::nullopt, R},
        {"editing R, tap S", editingR, [](auto& m) { m.tapRow(S); }, R, std::nullopt, R},
    };
    for (const auto& row : rows) {
        SnapshotEditMode mode;
        row.setup(mode);
        row.event(mode);
        EXPECT_EQ(mode.editing, row.editing) << row.name;
        EXPECT_EQ(mode.selected, row.selected) << row.name;
        EXPECT_EQ(mode.focused, row.focused) << row.name;
    }
}

TEST(GroupRulesTest, AddRemoveAndUpdateFollowTheSelection) {
    std::vector<ObjectGroup> groups;
    std::set<std::string> selection{"pathNode:X:1", "speaker-x"};
    EXPECT_FALSE(GroupRules::addFromSelection(groups, selection));
    EXPECT_TRUE(groups.empty());

    selection = {"speaker-3", "speaker-5", "pathNode:" + R.string() + ":0", "speaker-", "soundObject-12"};
    ASSERT_TRUE(GroupRules::addFromSelection(groups, selection));
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].name, "Group 1");
    EXPECT_EQ(groups[0].speakerIDs, (std::vector<std::int64_t>{3, 5}));
    EXPECT_TRUE(groups[0].soundObjectIDs.empty());
    EXPECT_EQ(selection, (std::set<std::string>{"speaker-3", "speaker-5"}));
    EXPECT_EQ(GroupRules::members(groups[0]), GroupRules::Members::speakers);

    selection = {SelectionKeys::soundObject(src), "speaker-1"};
    ASSERT_TRUE(GroupRules::addFromSelection(groups, selection));
    EXPECT_EQ(groups[1].name, "Group 2");
    EXPECT_EQ(GroupRules::members(groups[1]), GroupRules::Members::both);
    GroupRules::remove(groups, selection, groups[0].id);
    EXPECT_TRUE(selection.empty());
    ASSERT_TRUE(GroupRules::addFromSelection(groups, selection = {"speaker-9"}));
    EXPECT_EQ(groups.back().name, "Group 2") << "names count the groups and may repeat";

    const auto id = groups[0].id;
    GroupRules::updateFromSelection(groups, {"speaker-4"}, id);
    EXPECT_EQ(groups[0].speakerIDs, (std::vector<std::int64_t>{4}));
    EXPECT_TRUE(groups[0].soundObjectIDs.empty());
    GroupRules::updateFromSelection(groups, {"pathNode:a:b:1"}, id);
    EXPECT_EQ(GroupRules::find(groups, id), nullptr) << "no members left: the group goes";
}

TEST(GroupsViewStateTest, HighlightFollowsClicksRenamesAndTheCanvasSelection) {
    ObjectGroup g{.id = R, .name = "Group 1", .speakerIDs = {1, 2}, .soundObjectIDs = {}};
    ObjectGroup h{.id = S, .name = "Group 2", .speakerIDs = {7}, .soundObjectIDs = {src}};
    std::vector<ObjectGroup> groups{g, h};
    GroupsViewState state;
    EXPECT_FALSE(state.deleteEnabled());

    auto selection = state.clickRow(g);
    ASSERT_TRUE(selection);
    EXPECT_EQ(*selection, (std::set<std::string>{"speaker-1", "speaker-2"}));
    EXPECT_EQ(state.highlighted, R);

    state.selectionChanged(groups, {"speaker-1"});
    EXPECT_EQ(state.highlighted, R) << "deselecting a member keeps the highlight";
    state.selectionChanged(groups, {"speaker-1", "speaker-7"});
    EXPECT_EQ(state.highlighted, std::nullopt) << "an outside item clears it";
    state.clickRow(g);
    state.selectionChanged(groups, {});
    EXPECT_EQ(state.highlighted, std::nullopt);

    state.clickRow(h);
    state.pencil(R);
    EXPECT_FALSE(state.clickRow(g)) << "no clicks while renaming";
    EXPECT_EQ(state.highlighted, S);
    state.clickBackground(groups);
    EXPECT_EQ(state.editing, std::nullopt) << "the background commits the rename";
    EXPECT_EQ(state.highlighted, S);
    state.clickBackground(groups);
    EXPECT_EQ(state.highlighted, std::nullopt);

    state.pencil(S);
    state.focusChanged(R);
    EXPECT_EQ(state.editing, std::nullopt) << "focus leaving the field commits";
    state.pencil(S);
    state.returnPressed(S);
    EXPECT_EQ(state.editing, std::nullopt);

    state.clickRow(h);
    EXPECT_EQ(state.groupToDelete(groups), S);
    EXPECT_EQ(state.groupToDelete({g}), std::nullopt) << "a stale highlight deletes nothing";
    state.selectionChanged({g}, {"speaker-9"});
    EXPECT_EQ(state.highlighted, S) << "a stale highlight stays";
}

TEST(ToolPaletteTest, ButtonsPerMode) {
    EXPECT_EQ(labels(ToolPalette::buttons(false, false)),
              (std::vector<std::string>{"Add Output", "Add Input", "Clear", "Groups", "Snapshots"}));
    EXPECT_EQ(labels(ToolPalette::buttons(false, true)),
              (std::vector<std::string>{"Import .dbpr", "Add Input", "Clear", "Groups", "Snapshots"}));
    EXPECT_EQ(labels(ToolPalette::buttons(true, true)),
              (std::vector<std::string>{"Add Area", "Delete Area", "Duplicate", "Clear"}));
    EXPECT_EQ(ToolPalette::buttons(true, false)[3].action, ToolPalette::Action::clearAreas);
    EXPECT_EQ(ToolPalette::buttons(false, false)[2].action, ToolPalette::Action::clearCanvas);
    EXPECT_TRUE(ToolPalette::deleteShortcutActive(false));
    EXPECT_FALSE(ToolPalette::deleteShortcutActive(true));
}
