#include "platform/UUID.h"

#include <gtest/gtest.h>

#include <set>
#include <unordered_set>

using namespace platform;

TEST(UUID, TextFormAndParsing) {
    auto u = UUID::random();
    std::string text = u.string();
    ASSERT_EQ(text.size(), 36u);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            EXPECT_EQ(text[i], '-');
        else
            EXPECT_TRUE((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'A' && text[i] <= 'F')) << text;
    }
    EXPECT_EQ(text[14], '4');                                         // version 4
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos); // RFC 4122 variant

    auto parsed = UUID::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->string(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(UUID::parse("E621E1F8-c36c-495A-93fc-0C247A3E6E5F"), parsed);
    EXPECT_EQ(UUID::parse(u.string()), u);

    for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                            "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                            "E621E1F8+C36C-495A-93FC-0C247A3E6E5F", "{621E1F8-C36C-495A-93FC-0C247A3E6E5}"})
        EXPECT_FALSE(UUID::parse(bad)) << bad;
}

TEST(UUID, RandomValuesDifferAndHash) {
    std::set<UUID> seen;
    std::unordered_set<UUID> hashed;
    for (int i = 0; i < 1000; ++i) {
        auto u = UUID::random();
        seen.insert(u);
        hashed.insert(u);
    }
    EXPECT_EQ(seen.size(), 1000u);
    EXPECT_EQ(hashed.size(), 1000u);
    auto a = *UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(std::hash<UUID>{}(a), std::hash<UUID>{}(*UUID::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")));
}

TEST(UUID, Coding) {
    auto u = UUID::random();
    Value v = encodeValue(u);
    ASSERT_NE(v.asText(), nullptr);
    EXPECT_EQ(*v.asText(), u.string());
    EXPECT_EQ(decodeValue<UUID>(Value("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")).string(),
              "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    try {
        decodeValue<UUID>(Value("not-a-uuid"), "ids[2]");
        FAIL();
    } catch (const CodingError& e) {
        EXPECT_EQ(e.reason(), CodingError::Reason::dataCorrupted);
        EXPECT_EQ(e.path(), "ids[2]");
    }
    EXPECT_THROW(decodeValue<UUID>(Value(5)), CodingError);
}
