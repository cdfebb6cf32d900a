// The loudspeaker sheet's channel search, channel validation and deletion, and the sheet
// hooks that find items by id.
#include "Sonavant/engine/ContentView.h"
#include "support/RecordingPresenter.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

namespace {

Speaker speaker(std::int64_t id, std::string type, std::int64_t channel, std::string name = {}) {
    Speaker s = support::speakerAt(id, {0, 0}, channel, std::move(type));
    s.displayName = name.empty() ? s.type + " " + std::to_string(channel) : std::move(name);
    return s;
}

struct SheetHooks : ::testing::Test {
    std::shared_ptr<AppState> show = support::emptyShow({});
    ContentView view{
        show,   Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"), Binding<bool>(true), 320.0,
        nullptr};

    static MixingDesk desk(std::optional<std::int64_t> mixes, std::optional<std::int64_t> matrices) {
        MixingDesk d = support::mixDesk("Acme", 0);
        d.mixNum = mixes;
        d.mtxEnabled = true;
        d.mtxName = "Matrix";
        d.mtxNum = matrices;
        return d;
    }
    void SetUp() override { AppState::clearHistory(); }
    void TearDown() override { AppState::clearHistory(); }
};

TEST_F(SheetHooks, LowestFreeChannelIsCountedPerTypeUpToTheGivenBound) {
    show->speakers = std::vector{speaker(1, "Mix", 1), speaker(2, "Mix", 2), speaker(3, "Mix", 4),
                                 speaker(4, "Matrix", 3), speaker(5, "Mix", 3)};
    // Loudspeaker 5 is ignored: its own channel 3 counts as free; the Matrix one never counts.
    EXPECT_EQ(view.findLowestChannel("Mix", 4, 5), 3);
    EXPECT_EQ(view.findLowestChannel("Mix", 4, 99), std::nullopt);
    EXPECT_EQ(view.findLowestChannel("Mix", 5, 99), 5);
    EXPECT_EQ(view.findLowestChannel("Mix", 0, 99), std::nullopt);
    EXPECT_EQ(view.findLowestChannel("Matrix", 1, 99), 1);
    EXPECT_EQ(view.findLowestChannel("mix", 1, 99), 1); // exact names only
    // Channels out of range (0, negative, above the bound) never block the search.
    show->speakers = std::vector{speaker(1, "Mix", 0), speaker(2, "Mix", -3), speaker(3, "Mix", 900)};
    EXPECT_EQ(view.findLowestChannel("Mix", 2, 99), 1);
    // A desk's enormous count costs no more than the loudspeakers in the show.
    EXPECT_EQ(view.findLowestChannel("Mix", std::int64_t(1) << 62, 99), 1);
}

TEST_F(SheetHooks, TheSheetSearchRunsTo512NotToTheDesksCount) {
    view.selectedDesk = desk(16, 8);
    std::vector<Speaker> matrices;
    for (int c = 1; c <= 8; ++c)
        matrices.push_back(speaker(c, "Matrix", c));
    show->speakers = matrices;
    EXPECT_EQ(view.findLowestChannel("Matrix", 100), 9);
    EXPECT_EQ(view.validateChannel("Matrix", 9, 100), "Channel 9 is out of valid range [1...8]");
    std::vector<Speaker> full;
    for (int c = 1; c <= 512; ++c)
        full.push_back(speaker(c, "Matrix", c));
    show->speakers = full;
    EXPECT_EQ(view.findLowestChannel("Matrix", 1000), std::nullopt);
    EXPECT_EQ(view.findLowestChannel("Matrix", 512), 512);
}

TEST_F(SheetHooks, ChannelValidationUsesTheKindsCountAndOtherLoudspeakers) {
    EXPECT_EQ(view.validateChannel("Mix", 999, 1), std::nullopt) << "no desk accepts everything";

    view.selectedDesk = desk(16, 8);
    EXPECT_EQ(view.validateChannel("Mix", 12, 1), std::nullopt);
    EXPECT_EQ(view.validateChannel("Matrix", 12, 1), "Channel 12 is out of valid range [1...8]");
    EXPECT_EQ(view.validateChannel("Anything", 12, 1), "Channel 12 is out of valid range [1...8]");
    EXPECT_EQ(view.validateChannel("Mix", 0, 1), "Channel 0 is out of valid range [1...16]");
    EXPECT_EQ(view.validateChannel("Mix", -4, 1), "Channel -4 is out of valid range [1...16]");
    EXPECT_EQ(view.validateChannel("Mix", 60, 1), "Channel 60 is out of valid range [1...16]");

    show->speakers = std::vector{speaker(1, "Mix", 3), speaker(2, "Mix", 3), speaker(3, "Matrix", 4)};
    EXPECT_EQ(view.validateChannel("Mix", 3, 2), "Channel 3 for Mix is already in use.");
    EXPECT_EQ(view.validateChannel("Mix", 4, 2), std::nullopt) << "a Matrix on 4 does not block a Mix";
    show->speakers = std::vector{speaker(1, "Mix", 3)};
    EXPECT_EQ(view.validateChannel("Mix", 3, 1), std::nullopt) << "its own channel";

    view.selectedDesk = desk(std::nullopt, std::nullopt);
    EXPECT_EQ(view.validateChannel("Matrix", 1, 9), std::nullopt);
    EXPECT_EQ(view.validateChannel("Matrix", 2, 9), "Channel 2 is out of valid range [1...1]");
    view.selectedDesk = desk(0, 0); // a desk without channels rejects every one
    EXPECT_EQ(view.validateChannel("Mix", 1, 9), "Channel 1 is out of valid range [1...0]");
}

TEST_F(SheetHooks, UndoAfterDeleteRestoresThatLoudspeakerAndNothingElse) {
    show->speakers = std::vector{speaker(1, "Mix", 1), speaker(2, "Mix", 2), speaker(3, "Mix", 3)};
    show->saveStateForUndo(); // an earlier operation recorded its result
    // Edits in the sheet record nothing of their own.
    show->speakers.update([](auto& list) { list[0].displayName = "Stage left"; });
    show->speakers.update([](auto& list) { list[1].width = 120; });

    view.onDelete(2);
    ASSERT_EQ(show->speakers->size(), 2u);
    EXPECT_EQ(show->speakers.get()[1].id, 3);

    show->undo();
    ASSERT_EQ(show->speakers->size(), 3u);
    EXPECT_EQ(show->speakers.get()[1].id, 2);
    EXPECT_EQ(show->speakers.get()[1].width, 120);
    EXPECT_EQ(show->speakers.get()[0].displayName, "Stage left") << "the rename was not undone with it";
    show->redo();
    EXPECT_EQ(show->speakers->size(), 2u);
}

TEST_F(SheetHooks, AnOperationAfterADeleteIsUndoneAlone) {
    show->speakers = std::vector{speaker(1, "Mix", 1), speaker(2, "Mix", 2)};
    view.onDelete(2);
    // A later operation that records only its result.
    show->speakers.update([](auto& list) { list[0].focus = 45; });
    show->saveStateForUndo();
    show->undo();
    EXPECT_EQ(show->speakers->size(), 1u) << "undoing the later edit brought the deleted one back";
    EXPECT_EQ(show->speakers.get()[0].focus, 0);
    show->undo();
    EXPECT_EQ(show->speakers->size(), 2u);
}

TEST_F(SheetHooks, DeletingRemovesEveryRecordWithTheIdAndAnUnknownIdChangesNothing) {
    show->speakers =
        std::vector{speaker(4, "Mix", 1), speaker(7, "Mix", 2), speaker(4, "Mix", 3), speaker(9, "Mix", 4)};
    view.onDelete(4);
    ASSERT_EQ(show->speakers->size(), 2u);
    EXPECT_EQ(show->speakers.get()[0].id, 7);
    EXPECT_EQ(show->speakers.get()[1].id, 9);
    const auto before = AppState::undoStack.size();
    view.onDelete(42);
    EXPECT_EQ(show->speakers->size(), 2u);
    EXPECT_EQ(AppState::undoStack.size(), before); // no change, no state
}

TEST_F(SheetHooks, SheetsOpenThroughThePresenterOnlyForItemsInTheShow) {
    auto presenter = std::make_shared<support::RecordingPresenter>();
    view.presenter = presenter;
    const MixingDesk d = desk(16, 8);
    auto source = support::inputAt(3, d, 0, 0, {0, 0});
    show->soundObjects = std::vector{source};
    show->speakers = std::vector{speaker(5, "Mix", 1)};

    view.presentSpeakerSheet(5);
    view.presentSpeakerSheet(6);
    view.presentInputSheet(source->id);
    view.presentInputSheet(platform::UUID::random());
    EXPECT_EQ(presenter->speakerSheets, std::vector<std::int64_t>{5});
    EXPECT_EQ(presenter->inputSheets, std::vector<platform::UUID>{source->id});
    ASSERT_TRUE(view.activeSpeaker->has_value());
    EXPECT_EQ(view.activeSpeaker.get()->id, 5);
    EXPECT_EQ(view.activeSoundObject.get(), source);
}

} // namespace
