#include "OSCCore/ASCIIString.h"
#include "OSCCore/TextCharacters.h"

#include <gtest/gtest.h>

TEST(ASCIIText, Characters) {
    const auto crlf = ASCIICharacter::exactly("\r\n");
    ASSERT_TRUE(crlf);
    EXPECT_EQ(crlf->characterValue(), "\r\n");
    EXPECT_EQ(crlf->asciiValue(), 10);
    EXPECT_EQ(*crlf, *ASCIICharacter::exactly("\n"));
    EXPECT_EQ(std::hash<ASCIICharacter>{}(*crlf),
              std::hash<ASCIICharacter>{}(*ASCIICharacter::exactly("\n")));

    EXPECT_FALSE(ASCIICharacter::exactly("\xC3\xA9"));
    EXPECT_FALSE(ASCIICharacter::exactly(""));
    EXPECT_FALSE(ASCIICharacter::exactly("ab"));
    EXPECT_EQ(ASCIICharacter("\xC3\xA9").asciiValue(), 'e');
    EXPECT_EQ(ASCIICharacter("\xF0\x9F\x8E\xB5").asciiValue(), '?'); // an emoji
    EXPECT_EQ(ASCIICharacter("").asciiValue(), '?');
    EXPECT_EQ(ASCIICharacter("abc").asciiValue(), 'a');
    const ASCIICharacter eszett("\xC3\x9F");
    EXPECT_EQ(eszett.characterValue(), "ss");
    EXPECT_EQ(eszett.asciiValue(), '?');
    EXPECT_EQ(ASCIIString(eszett).stringValue(), "?");

    EXPECT_FALSE(ASCIICharacter::exactly(-1));
    EXPECT_FALSE(ASCIICharacter::exactly(128));
    EXPECT_FALSE(ASCIICharacter::exactly(256));
    EXPECT_EQ(ASCIICharacter::exactly(65)->characterValue(), "A");
    EXPECT_FALSE(ASCIICharacter::fromRawData(Data{}));
    EXPECT_FALSE(ASCIICharacter::fromRawData(Data{65, 66}));
    EXPECT_EQ(ASCIICharacter::fromRawData(Data{'\\'})->characterValue(), "\\");
    EXPECT_EQ(ASCIICharacter::exactly(7)->description(), "?");
    EXPECT_EQ(ASCIICharacter::exactly(65)->description(), "A");
    EXPECT_EQ(ASCIICharacter::exactly(65)->debugDescription(), "ASCIICharacter(#65: \"A\")");
    EXPECT_TRUE(ASCIICharacter("K") == "\xE2\x84\xAA"); // Kelvin sign, canonically K
}

TEST(ASCIIText, Strings) {
    EXPECT_FALSE(ASCIIString::exactly("na\xC3\xAFve"));
    const ASCIIString naive("na\xC3\xAFve");
    EXPECT_EQ(naive.stringValue(), "naive");
    EXPECT_EQ(naive.rawData().size(), 5u);
    EXPECT_EQ(ASCIIString("a\tb").stringValue(), "a\tb");
    EXPECT_EQ(ASCIIString("a\tb\xC3\xA9").stringValue(), "a?be");
    EXPECT_EQ(ASCIIString::exactly("\r\n")->rawData().size(), 2u);
    EXPECT_FALSE(ASCIIString::fromRawData(Data{'a', 0x80}));
    EXPECT_EQ(ASCIIString::fromRawData(Data{'a', '\\', 'n'})->stringValue(), "a\\n");

    EXPECT_EQ(ASCIIString::joined(std::vector<ASCIIString>{}, ASCIIString(",")).stringValue(), "");
    EXPECT_EQ(ASCIIString::joined({ASCIIString("a")}, ASCIIString(",")).stringValue(), "a");
    EXPECT_EQ(ASCIIString::joined({ASCIIString("a"), ASCIIString("b")}, ASCIIString(", ")).stringValue(),
              "a, b");
    EXPECT_EQ(ASCIIString::joined(std::vector<ASCIICharacter>{"x", "y"}, ASCIIString("/")).stringValue(),
              "x/y");
    EXPECT_EQ((ASCIIString("a") + ASCIICharacter("b") + ASCIIString("c")).stringValue(), "abc");
    EXPECT_EQ(ASCIIString("a").debugDescription(), "ASCIIString(\"a\")");
    EXPECT_TRUE(ASCIIString("\xC3\xA9") == "e");
}

TEST(ASCIIText, Transform) {
    EXPECT_EQ(latinASCIITransform("").stringValue(), "");
    EXPECT_EQ(latinASCIITransform("plain text ~").stringValue(), "plain text ~");
    EXPECT_EQ(latinASCIITransform("Stra\xC3\x9F"
                                  "e \xC3\x86")
                  .stringValue(),
              "Strasse AE");
    EXPECT_EQ(latinASCIITransform("e\xCC\x81").stringValue(), "e"); // combining accent
    EXPECT_EQ(latinASCIITransform("\r\n\x7F").stringValue(), "???");
    // Scripts the transform leaves alone: one "?" per scalar.
    EXPECT_EQ(latinASCIITransform("\xE4\xB8\xAD\xE6\x96\x87").stringValue(), "??");
    EXPECT_EQ(latinASCIITransform("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA").stringValue(), "??"); // a flag
    EXPECT_EQ(latinASCIITransform("bad \xFF byte").stringValue(), "bad ? byte");
    EXPECT_TRUE(containsNonASCIICharacters("a\xC3\xA9"));
    EXPECT_FALSE(containsNonASCIICharacters("a\r\n"));
}

// The word-at-a-time check must agree with the byte rule for every byte at every place.
TEST(ASCIIText, PrintableCheckAgreesWithTheByteRuleEverywhere) {
    for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 23u}) {
        for (std::size_t at = 0; at < length; ++at) {
            for (int byte = 0; byte < 256; ++byte) {
                std::string text(length, 'a');
                text[at] = static_cast<char>(byte);
                EXPECT_EQ(osccore::isPrintableASCII(text), byte >= 0x20 && byte <= 0x7E)
                    << "byte " << byte << " at " << at << " of " << length;
            }
        }
    }
    EXPECT_TRUE(osccore::isPrintableASCII(""));
}
