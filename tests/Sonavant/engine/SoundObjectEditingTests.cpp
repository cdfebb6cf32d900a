// Deleting sources with their cue references, source numbering, desk sections and the
// QLab alert.

#include "Sonavant/engine/ContentView.h"
#include "platform/RunLoop.h"
#include "support/RecordingPresenter.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

namespace {

class SoundObjectEditingTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::MainRunLoop::adoptCurrentThread();
        AppState::clearHistory();
    }
    void TearDown() override { AppState::clearHistory(); }

    std::shared_ptr<SoundObject> add(std::int64_t number, std::string type = "Input") {
        auto s = support::inputAt(number, desk, 1, 1, show->zeroPoint);
        s->type = std::move(type);
        show->soundObjects.update([&](auto& list) { list.push_back(s); });
        return s;
    }

    MixingDesk desk = support::mixDesk("Test", 8);
    std::shared_ptr<AppState> show = support::emptyShow({});
    ContentView view{
        show,   Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"), Binding<bool>(true), 320.0,
        nullptr};
};

TEST_F(SoundObjectEditingTest, DeletingASourceKeepsNumbersAndMarksCuesLeftWithoutTargets) {
    auto one = add(1), two = add(2), three = add(3);
    auto onlyTwo = std::make_shared<PathCue>(
        platform::UUID::random(), "Cue 1", 60, std::vector{two->id}, std::vector<Point>{{0, 0}, {9, 0}}, 1,
        std::nullopt, std::nullopt, true, std::nullopt, TriggerNextOption::none, false);
    auto both =
        std::make_shared<PathCue>(platform::UUID::random(), "Cue 2", 60, std::vector{one->id, two->id},
                                  std::vector<Point>{{0, 0}, {9, 0}}, 2, std::nullopt, std::nullopt, false,
                                  std::nullopt, TriggerNextOption::none, false);
    view.pathManager->pathCues = std::vector{onlyTwo, both};
    view.pathManager->playPathCue(
        onlyTwo, 100, [] {}, std::nullopt);
    show->selectedSoundObject = two;

    view.deleteSoundObject(two);
    ASSERT_EQ(show->soundObjects->size(), 2u);
    EXPECT_EQ(show->soundObjects.get()[0]->number.get(), 1);
    EXPECT_EQ(show->soundObjects.get()[1]->number.get(), 3);
    EXPECT_TRUE(onlyTwo->hasError);
    EXPECT_TRUE(onlyTwo->soundObjectIDs.empty());
    EXPECT_FALSE(both->hasError);
    EXPECT_EQ(both->soundObjectIDs, std::vector{one->id});
    EXPECT_FALSE(view.pathManager->hasRunningPlayback()) << "nothing left to move";
    EXPECT_EQ(show->selectedSoundObject.get(), nullptr);
    EXPECT_EQ(AppState::undoStack.size(), 1u);
    (void)three;
}

TEST_F(SoundObjectEditingTest, NumbersSectionsAndLookups) {
    EXPECT_EQ(view.nextSoundObjectNumber("Input"), 1);
    auto a = add(1), b = add(2), c = add(4), other = add(3, "FX");
    EXPECT_EQ(view.nextSoundObjectNumber("Input"), 3) << "the FX source's 3 does not count";
    EXPECT_EQ(view.nextSoundObjectNumber("FX"), 1);
    for (std::int64_t n = 1; n <= 512; ++n)
        add(n, "Full");
    EXPECT_EQ(view.nextSoundObjectNumber("Full"), 513);

    EXPECT_EQ(view.objectsMatchingString("FX"), std::vector{other});
    EXPECT_EQ(view.objectsWithIDs({c->id, a->id}), (std::vector{a, c})) << "in show order";
    EXPECT_TRUE(ContentView::soundObjectHasID(*b, b->id));
    EXPECT_FALSE(ContentView::soundObjectHasID(*b, a->id));
    show->mixerLevels = PerSourcePerSpeaker<double>{{a->id, {{3, 0.5}}}};
    EXPECT_EQ(view.objectLevelEntry(*a).second, (std::map<std::int64_t, double>{{3, 0.5}}));
    EXPECT_TRUE(view.objectLevelEntry(*b).second.empty());

    MixingDesk sections = desk;
    sections.mtxName = "Matrix";
    Speaker mix, matrix;
    mix.type = "Mix";
    matrix.type = "Matrix";
    EXPECT_TRUE(ContentView::speakerIsMix(mix, sections));
    EXPECT_FALSE(ContentView::speakerIsMix(matrix, sections));
    EXPECT_TRUE(ContentView::speakerIsMatrix(matrix, sections));
    EXPECT_FALSE(ContentView::speakerIsGroup(mix, sections)) << "the desk has no group section";
}

TEST_F(SoundObjectEditingTest, TheQLabAlertAsksWhetherToGenerateAnyway) {
    auto presenter = std::make_shared<support::RecordingPresenter>();
    view.presenter = presenter;
    presenter->alertAnswers = {"Close", "Generate Anyway"};
    EXPECT_FALSE(view.showQLabNoReplyAlert());
    EXPECT_TRUE(view.showQLabNoReplyAlert());
    ASSERT_EQ(presenter->alerts.size(), 2u);
    EXPECT_EQ(presenter->alerts[0].style, PresenterAlert::Style::warning);
    EXPECT_EQ(presenter->alerts[0].title, "QLab did not reply");
    EXPECT_NE(presenter->alerts[0].text.find("accept OSC messages.\n\nYou can still"), std::string::npos);
}

} // namespace
