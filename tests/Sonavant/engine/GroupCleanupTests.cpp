#include "Sonavant/engine/ContentView.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

TEST(GroupCleanupTest, KeepsGroupsWithOneLiveMemberAndDropsTheRest) {
    auto show = support::emptyShow({});
    ContentView view(show, Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"),
                     Binding<bool>(true), 320.0, nullptr);
    Speaker live;
    live.id = 1;
    show->speakers = std::vector<Speaker>{live};
    ObjectGroup mixed{.name = "mixed", .speakerIDs = {1, 7}, .soundObjectIDs = {}};
    ObjectGroup gone{.name = "gone", .speakerIDs = {7}, .soundObjectIDs = {platform::UUID::random()}};
    ObjectGroup never{.name = "never", .speakerIDs = {}, .soundObjectIDs = {}};
    show->groups = std::vector<ObjectGroup>{gone, mixed, never};
    view.removeEmptyGroups();
    ASSERT_EQ(show->groups.get().size(), 1u);
    EXPECT_EQ(show->groups.get()[0].name, "mixed");
    EXPECT_EQ(show->groups.get()[0].speakerIDs, (std::vector<std::int64_t>{1, 7}));
}
