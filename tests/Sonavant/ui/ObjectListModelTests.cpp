#include "Sonavant/ui/ObjectListModel.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

struct ObjectList : ::testing::Test, HeadlessView {
    MixingDesk desk = sheetDesk();
    ObjectListModel model{view};
    std::shared_ptr<SoundObject> add(std::int64_t number, std::string name, std::string type = "Input") {
        auto source = std::make_shared<SoundObject>(std::move(type), number, desk, 0, 0, 100, Point{0, 0});
        source->name = std::move(name);
        show->soundObjects.update([&](auto& list) { list.push_back(source); });
        return source;
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto& row : model.rows())
            out.push_back(row.numberText + " " + row.name);
        return out;
    }
};

TEST_F(ObjectList, RowsAreOrderedByNumberAndTiesKeepShowOrder) {
    EXPECT_TRUE(model.rows().empty());
    add(7, "seven");
    add(2, "two a");
    add(12, "twelve");
    add(2, "two b");
    add(-1, "minus one");
    EXPECT_EQ(names(),
              (std::vector<std::string>{"#-1 minus one", "#2 two a", "#2 two b", "#7 seven", "#12 twelve"}));
}

TEST_F(ObjectList, SwatchComesFromTheDesksKindColoursNotTheSourcesOwn) {
    using NC = NamedColor;
    desk.groupName = "Group";
    desk.groupColour = "purple";
    EXPECT_EQ(ObjectListModel::typeSwatchColour(std::nullopt, "Input"), NC::gray);
    EXPECT_EQ(ObjectListModel::typeSwatchColour(desk, "Input"), NC::blue);
    EXPECT_EQ(ObjectListModel::typeSwatchColour(desk, "Mix"), NC::green);
    EXPECT_EQ(ObjectListModel::typeSwatchColour(desk, "Group"), NC::purple);
    EXPECT_EQ(ObjectListModel::typeSwatchColour(desk, "Matrix"), NC::orange);
    EXPECT_EQ(ObjectListModel::typeSwatchColour(desk, "Cue"), NC::gray);
    desk.mixColour.reset();
    desk.mtxColour = "no such colour";
    EXPECT_EQ(ObjectListModel::typeSwatchColour(desk, "Mix"), NC::white);
    EXPECT_EQ(ObjectListModel::typeSwatchColour(desk, "Matrix"), NC::gray);

    show->selectedDesk = desk;
    auto source = add(1, "one");
    source->colour = "red";
    EXPECT_EQ(model.rows()[0].swatch, NC::blue);
    show->selectedDesk = std::nullopt;
    EXPECT_EQ(model.rows()[0].swatch, NC::gray);
}

TEST_F(ObjectList, AClickReplacesTheWholeSelectionAndAShiftClickTogglesOneKey) {
    const std::set<std::string> canvas{"speaker-3", "pathNode:X:0", "soundObject-B"};
    EXPECT_EQ(ObjectListModel::selectionAfterClick(canvas, "soundObject-A", false),
              std::set<std::string>{"soundObject-A"});
    EXPECT_EQ(ObjectListModel::selectionAfterClick(canvas, "soundObject-A", true),
              (std::set<std::string>{"speaker-3", "pathNode:X:0", "soundObject-A", "soundObject-B"}));
    EXPECT_EQ(ObjectListModel::selectionAfterClick(canvas, "soundObject-B", true),
              (std::set<std::string>{"speaker-3", "pathNode:X:0"}));
    auto source = add(1, "a");
    EXPECT_EQ(ObjectListModel::selectionKey(source->id), "soundObject-" + source->id.string());
}

} // namespace
