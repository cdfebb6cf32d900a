#include "Sonavant/engine/SelectionKeys.h"
#include "Sonavant/engine/SnapshotRules.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

const auto cueA = *platform::UUID::parse("11111111-2222-4333-8444-555555555555");
const auto source = *platform::UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

Snapshot numbered(std::int64_t n) {
    Snapshot s;
    s.number = n;
    return s;
}

} // namespace

TEST(SelectionKeysTest, ParsesOnlyWellFormedKeysLikeTheCanvas) {
    struct Row {
        const char* key;
        std::optional<std::int64_t> speaker;
        bool isSource;
    };
    const Row rows[] = {
        {"speaker-3", 3, false},
        {"speaker-+7", std::nullopt, false},
        {"speaker--2", -2, false},
        {"speaker-", std::nullopt, false},
        {"speaker-a", std::nullopt, false},
        {"speaker-3x", std::nullopt, false},
        {"speaker-99999999999999999999", std::nullopt, false},
        {"soundObject-E621E1F8-C36C-495A-93FC-0C247A3E6E5F", std::nullopt, true},
        {"soundObject-e621e1f8-c36c-495a-93fc-0c247a3e6e5f", std::nullopt, true},
        {"soundObject-1234", std::nullopt, false},
        {"pathNode:E621E1F8-C36C-495A-93FC-0C247A3E6E5F:1", std::nullopt, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SelectionKeys::speakerID(row.key), row.speaker) << row.key;
        EXPECT_EQ(SelectionKeys::soundObjectID(row.key).has_value(), row.isSource) << row.key;
    }
    EXPECT_EQ(SelectionKeys::soundObject(source), "soundObject-E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(SelectionKeys::speaker(12), "speaker-12");
}

TEST(SelectionKeysTest, PathNodesAreGroupedPerCueLargestFirstEachOnce) {
    const std::string a = cueA.string();
    auto nodes =
        SelectionKeys::pathNodes({"pathNode:" + a + ":0", "pathNode:" + a + ":2", "pathNode:" + a + ":+2",
                                  "pathNode:" + a + ":-1", "pathNode:" + a + ":x", "pathNode:" + a,
                                  "pathNode::" + a + "::4", "pathNode:" + a + ":1:9", "speaker-1"});
    ASSERT_EQ(nodes.size(), 1u);
    // "::" pieces are dropped, so the doubled colons still name node 4; a negative index names
    // no node; "+2" and "2" are one node.
    EXPECT_EQ(nodes[a], (std::vector<std::int64_t>{4, 2, 0}));
}

TEST(SnapshotRulesTest, NumbersFollowTheHighestNamesCountAndTheLargestNumberFallsBack) {
    EXPECT_EQ(SnapshotRules::nextNumber({}), 1);
    EXPECT_EQ(SnapshotRules::newName({}), "Snapshot 1");
    std::vector<Snapshot> list{numbered(1), numbered(3)};
    EXPECT_EQ(SnapshotRules::nextNumber(list), 4);
    EXPECT_EQ(SnapshotRules::newName(list), "Snapshot 3");
    list = {numbered(7), numbered(7)};
    EXPECT_EQ(SnapshotRules::nextNumber(list), 8);
    const auto top = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(SnapshotRules::nextNumber({numbered(top)}), 1);
    EXPECT_EQ(SnapshotRules::nextNumber({numbered(1), numbered(top), numbered(2)}), 3);
}

TEST(SnapshotRulesTest, FieldsAcceptWhatTheFormattersWouldAndRowsReadAsShown) {
    EXPECT_EQ(SnapshotRules::readNumber("12"), 12);
    EXPECT_EQ(SnapshotRules::readNumber(" 3 "), 3);
    EXPECT_EQ(SnapshotRules::readNumber("0"), std::nullopt);
    EXPECT_EQ(SnapshotRules::readNumber("-4"), std::nullopt);
    EXPECT_EQ(SnapshotRules::readNumber("2.5"), std::nullopt);
    EXPECT_EQ(SnapshotRules::readNumber("abc"), std::nullopt);
    EXPECT_EQ(SnapshotRules::readNumber(""), std::nullopt);
    EXPECT_EQ(SnapshotRules::readRecallTime("2.5"), 2.5);
    EXPECT_EQ(SnapshotRules::readRecallTime("0"), 0.0);
    EXPECT_EQ(SnapshotRules::readRecallTime("-1"), -1.0);
    EXPECT_EQ(SnapshotRules::readRecallTime("nan"), std::nullopt);
    EXPECT_EQ(SnapshotRules::readRecallTime("inf"), std::nullopt);
    EXPECT_EQ(SnapshotRules::readRecallTime("1,5"), std::nullopt);

    Snapshot s = numbered(4);
    s.name = "Snapshot 3";
    s.recallTime = 1.0;
    EXPECT_EQ(SnapshotRules::rowText(s), "4 | Snapshot 3 | 1.0 s");
    EXPECT_EQ(SnapshotRules::recallTimeText(2.25), "2.2 s");
    EXPECT_EQ(SnapshotRules::recallTimeFieldText(0.05), "0.1");
}
