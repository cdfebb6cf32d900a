#include "OSCCore/OSCAddressPattern.h"

#include <gtest/gtest.h>

using Token = OSCAddressPattern::Component::Token;
using Group = Token::CharacterGroup;

TEST(AddressPattern, MatchTable) {
    const struct {
        const char* pattern;
        const char* address;
        bool matches;
    } cases[] = {
        {"/", "/", false},
        {"//", "/", false},
        {"", "", false},
        {"/a/b", "/a/b", true},
        {"/a/b", "a/b", true},
        {"/a/b", "/a/b/", true},
        {"/a/b", "/a", false},
        {"/a/b", "/a/b/c", false},
        {"/a//b", "/a//b", true},
        {"/a//b", "/a/x/b", false},
        {"//a", "//a", true},
        {"//a", "/a", false},
        {"//a", "/x/a", false},
        {"/*", "/anything", true},
        {"/*", "/", false},
        {"/*", "//", false},
        {"/*", "/a/b", false},
        {"/A", "/a", false},
        {"/f*o", "/fo", true},
        {"/f*o", "/foo", true},
        {"/f*o", "/fxyzo", true},
        {"/f*o", "/f", false},
        {"/f*o", "/foox", false},
        {"/x?z", "/xyz", true},
        {"/x?z", "/xz", false},
        {"/ch[0-9]", "/ch7", true},
        {"/ch[0-9]", "/chx", false},
        {"/ch[0-9]", "/ch10", false},
        {"/ch[!0-9]", "/chx", true},
        {"/ch[!0-9]", "/ch7", false},
        {"/[a-]", "/a", true},
        {"/[a-]", "/-", true},
        {"/[z-a]", "/a", false},
        {"/[a-z]", "/\xC3\xA9", false},
        {"/[]", "/a", false},
        {"/[!]", "/a", true},
        {"/{foo,bar}", "/foo", true},
        {"/{foo,bar}", "/bar", true},
        {"/{foo,bar}/x", "/baz/x", false},
        {"/a{}b", "/ab", true},
        {"/{a", "/{a", true},
        {"/[a", "/[a", true}, // an unclosed "[" is an ordinary character
        {"/**", "/abc", true},
        {"/*?*", "/", false},
        {"/*?*", "/x", true},
        // Every member of a list is tried, so the result does not depend on the list's order.
        {"/{a,ab}c", "/abc", true},
        {"/{ab,a}c", "/ac", true},
        {"/{a,ab}", "/ab", true},
        // Characters are user-perceived characters, compared up to canonical equivalence.
        {"/?", "/e\xCC\x81", true},
        {"/?", "/\xC3\xA9", true},
        {"/??", "/\xC3\xA9", false},
        {"/K", "/\xE2\x84\xAA", true}, // Kelvin sign
        {"/a*", "/a\r\nb", true},
        {"/a?b", "/a\r\nb", true},
        {"/mixer/*/fader[1-8]", "/mixer/main/fader3", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OSCAddressPattern(c.pattern).matches(c.address), c.matches)
            << c.pattern << " vs " << c.address;
}

TEST(AddressPattern, ManyStarsStayPolynomial) {
    // Backtracking over each "*" would take exponential time here; the answer must still come.
    const std::string pattern = "/*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b";
    EXPECT_FALSE(OSCAddressPattern(pattern).matches("/" + std::string(3000, 'a')));
    EXPECT_TRUE(OSCAddressPattern(pattern).matches("/" + std::string(3000, 'a') + "b"));
}

TEST(AddressPattern, HugePatternsAreRefusedNotSlow) {
    // 32 KB of "*a" against a long name: beyond the work bound, so no match (and no stall).
    std::string huge = "/";
    for (int i = 0; i < 16384; ++i)
        huge += "*a";
    EXPECT_FALSE(OSCAddressPattern(huge).matches("/" + std::string(32768, 'a')));
    // The same pattern against a short name stays within the bound and is answered.
    EXPECT_FALSE(OSCAddressPattern(huge).matches("/aaa"));
    // Unclosed brackets by the thousand parse as ordinary characters, in one pass.
    const std::string brackets(40000, '[');
    const auto parts = OSCAddressPattern("/" + brackets).components();
    ASSERT_EQ(parts.size(), 1u);
    ASSERT_EQ(parts[0].tokens.size(), 1u);
    EXPECT_EQ(parts[0].tokens[0].literalText(), brackets);
    // Real patterns are untouched by the bound.
    EXPECT_TRUE(OSCAddressPattern("/mixer/*/fader[1-8]").matches("/mixer/main/fader3"));
}

TEST(AddressPattern, ParsesComponents) {
    using P = OSCAddressPattern;
    EXPECT_TRUE(P::parsePatternComponent("").tokens.empty());
    EXPECT_EQ(P::parsePatternComponent("***").tokens, std::vector<Token>{Token::zeroOrMoreWildcard()});
    EXPECT_EQ(P::parsePatternComponent("*?*").tokens,
              (std::vector<Token>{Token::zeroOrMoreWildcard(), Token::singleCharWildcard(),
                                  Token::zeroOrMoreWildcard()}));
    EXPECT_EQ(P::parsePatternComponent("a{b,,b,c}[x]!").tokens,
              (std::vector<Token>{Token::literal("a"), Token::strings({"b", "c"}),
                                  Token::singleChar(false, {Group::single("x")}), Token::literal("!")}));
    EXPECT_EQ(P::parsePatternComponent("[a[b]").tokens,
              std::vector<Token>{
                  Token::singleChar(false, {Group::single("a"), Group::single("["), Group::single("b")})});
    EXPECT_EQ(P::parsePatternComponent("{*,?}").tokens, std::vector<Token>{Token::strings({"*", "?"})});

    EXPECT_EQ(
        P::parseCharacterGroup("ab-cd"),
        Token::singleChar(false, {Group::single("a"), Group::asciiRange("b", "c"), Group::single("d")}));
    EXPECT_EQ(
        P::parseCharacterGroup("a-c-e"),
        Token::singleChar(false, {Group::asciiRange("a", "c"), Group::single("e"), Group::single("-")}));
    EXPECT_EQ(P::parseCharacterGroup("-a"),
              Token::singleChar(false, {Group::single("a"), Group::single("-")}));
    EXPECT_EQ(P::parseCharacterGroup("!0-9"), Token::singleChar(true, {Group::asciiRange("0", "9")}));
    EXPECT_EQ(P::parseCharacterGroup("!"), Token::singleChar(true, {}));
    EXPECT_EQ(P::parseCharacterGroup("a!"),
              Token::singleChar(false, {Group::single("a"), Group::single("!")}));
}

TEST(AddressPattern, TextAndBytes) {
    const OSCAddressPattern cafe("/caf\xC3\xA9");
    EXPECT_EQ(cafe.rawAddress(), "/cafe");
    EXPECT_EQ(std::string(cafe.rawData().begin(), cafe.rawData().end()), "/cafe");
    EXPECT_EQ(OSCAddressPattern("/a\tb").rawAddress(), "/a\tb"); // ASCII is kept as it is
    EXPECT_EQ(OSCAddressPattern::fromPathComponents({}).rawAddress(), "/");
    EXPECT_EQ(OSCAddressPattern("/a//b/").pathComponents(), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(OSCAddressPattern("/caf\xC3\xA9"), OSCAddressPattern("/cafe"));
}
