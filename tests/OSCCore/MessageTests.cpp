#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCMessage.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

namespace {

std::string parseError(const Data& bytes) {
    try {
        OSCMessage::fromRawData(bytes);
    } catch (const OSCDecodeError& e) {
        return e.what();
    }
    return "(parsed)";
}

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

} // namespace

TEST(Message, ByteForm) {
    EXPECT_EQ(hexOf(OSCMessage("/test").rawData()), hexOf(bytesOf("'/test' 00 00 00 ',' 00 00 00")));
    EXPECT_EQ(hexOf(OSCMessage("/abc").rawData()), hexOf(bytesOf("'/abc' 00 00 00 00 ',' 00 00 00")));
    EXPECT_EQ(hexOf(OSCMessage("/a", {std::int32_t{1}, 2.0f, true, OSCNullValue{}}).rawData()),
              hexOf(bytesOf("'/a' 00 00 ',ifTN' 00 00 00 00 00 00 01 40 00 00 00")));
    // An address that is not ASCII goes out transliterated, one byte per character.
    EXPECT_EQ(hexOf(OSCMessage("/caf\xC3\xA9").rawData()), hexOf(bytesOf("'/cafe' 00 00 00 ',' 00 00 00")));
    EXPECT_EQ(OSCMessage(OSCAddressPattern::fromPathComponents({"a", "b"})).addressPattern().rawAddress(),
              "/a/b");
}

TEST(Message, EveryParseFailureHasItsText) {
    const std::string p = "Malformed data: ";
    const struct {
        const char* bytes;
        std::string error;
    } cases[] = {
        {"", p + "Does not start with an address pattern."},
        {"'/a' 00 00 00", p + "Length not a multiple of 4 bytes."},
        {"'abc' 00", p + "Does not start with an address pattern."},
        {"'/a' 00 00", p + "Couldn't extract OSC-type chunk."},
        {"'/abc'", p + "Address pattern string could not be parsed."},
        {"'/a' C3 00", p + "Address pattern string could not be parsed."},
        {"'/a' 00 00 ',' C3 00 00", p + "Couldn't extract OSC-type chunk."},
        {"'/a' 00 00 ',x' 00 00", p + "No decoder found to decode OSC type tag: x"},
        {"'/a' 00 00 ',[i' 00 00 00 00 01", p + "Array termination tag ']' was not found."},
        {"'/a' 00 00 ',[' 00 00", p + "Array termination tag ']' was not found."},
        {"'/a' 00 00 ',i' 00 00", p + "Not enough bytes while reading Int32 data chunk."},
        {"'/a' 00 00 ',f' 00 00", p + "Not enough bytes while reading Float32 data chunk."},
        {"'/a' 00 00 ',d' 00 00 00 00 00 01", p + "Not enough bytes while reading Double data chunk."},
        {"'/a' 00 00 ',h' 00 00", p + "Not enough bytes while reading Int64 data chunk."},
        {"'/a' 00 00 ',t' 00 00", p + "Not enough bytes while reading UInt64 data chunk."},
        {"'/a' 00 00 ',m' 00 00",
         p + "Not enough bytes remain in data stream. Attempted to read 4 bytes but only 0 bytes remain."},
        {"'/a' 00 00 ',s' 00 00 'ab' 80 00",
         p + "Failed to form valid ASCII string from 4-byte aligned null-terminated ASCII string chunk. "
             "Non-ASCII characters may be present or the data is malformed."},
        {"'/a' 00 00 ',s' 00 00 'abcd' 00 'x' 00 00",
         p + "4-byte aligned null-terminated data chunk does not terminate in null bytes as expected."},
        {"'/a' 00 00 ',s' 00 00 'abcd'",
         p + "4-byte aligned null-terminated data chunk does not terminate in null bytes as expected."},
        {"'/a' 00 00 ',s' 00 00", p + "Not enough bytes in 4-byte aligned null-terminated data chunk."},
        {"'/a' 00 00 ',b' 00 00 00 00 FF E3",
         p + "Failed to read Int32 length chunk at start of 4-byte aligned null-terminated blob data chunk."},
        {"'/a' 00 00 ',b' 00 00",
         p + "Failed to read Int32 length chunk at start of 4-byte aligned null-terminated blob data chunk."},
        {"'/a' 00 00 ',b' 00 00 FF FF FF FF", p + "Encoded blob chunk length is negative."},
        {"'/a' 00 00 ',b' 00 00 00 00 00 08 01 02 03 04",
         p + "Encoded blob chunk length is greater than the available data length."},
        {"'/a' 00 00 ',b' 00 00 00 00 00 05 01 02 03 04 05 00 07 00",
         p + "Expected 4-byte null terminated data but expected null bytes were not found."},
        {"'/a' 00 00 ',c' 00 00 00 00 01 00",
         p + "Character value couldn't be read. Could not form a Unicode scalar from the value."},
        {"'/a' 00 00 ',c' 00 00 00 00 00 80",
         p + "Character value couldn't be read. Could not form a Unicode scalar from the value."},
        {"'/a' 00 00 ',c' 00 00 FF FF FF FF",
         p + "Character value couldn't be read. Could not form a Unicode scalar from the value."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseError(bytesOf(c.bytes)), c.error) << c.bytes;
}

TEST(Message, ArrayNestingIsBounded) {
    // Each "[" recurses once; a packet of nothing but brackets must fail, not exhaust the stack.
    std::string tags = "," + repeat("[", 40) + repeat("]", 40);
    Data bytes = bytesOf("'/a' 00 00") + Data(tags.begin(), tags.end());
    bytes.resize(bytes.size() + 4 - bytes.size() % 4, 0);
    EXPECT_EQ(parseError(bytes), "Malformed data: Array nesting is too deep.");

    tags = "," + repeat("[", 30) + "i" + repeat("]", 30);
    bytes = bytesOf("'/a' 00 00") + Data(tags.begin(), tags.end());
    bytes.resize(bytes.size() + 4 - bytes.size() % 4, 0);
    bytes = bytes + bytesOf("00 00 00 2A");
    EXPECT_NO_THROW(OSCMessage::fromRawData(bytes));
}

TEST(Message, ParsesTagListsLeniently) {
    auto empty = OSCMessage::fromRawData(bytesOf("'/a' 00 00 ',' 00 00 00"));
    EXPECT_TRUE(empty.values().empty());
    auto noComma = OSCMessage::fromRawData(bytesOf("'/a' 00 00 'i' 00 00 00 00 00 00 07"));
    EXPECT_EQ(noComma.values(), std::vector<OSCValue>{std::int32_t{7}});
    auto arrays = OSCMessage::fromRawData(bytesOf("'/a' 00 00 ',[]i' 00 00 00 00 00 00 00 02"));
    EXPECT_EQ(arrays.values(), (std::vector<OSCValue>{OSCArrayValue(), std::int32_t{2}}));
    // A backslash in a received text is an ordinary character, not an escape.
    auto text = OSCMessage::fromRawData(bytesOf("'/a' 00 00 ',s' 00 00 'C:\\x' 00 00 00 00"));
    EXPECT_EQ(text.values(), std::vector<OSCValue>{"C:\\x"});
}

TEST(Message, EveryCoreValueSurvivesARoundTrip) {
    const std::vector<OSCValue> values = {std::int32_t{-5},
                                          2.5f,
                                          "text",
                                          Data{9, 8, 7, 6, 5},
                                          true,
                                          false,
                                          ASCIICharacter("z"),
                                          -0.25,
                                          std::int64_t{1} << 40,
                                          OSCImpulseValue{},
                                          OSCMIDIValue{1, 2, 3, 4},
                                          OSCNullValue{},
                                          OSCStringAltValue("alt"),
                                          OSCTimeTag(123456789ULL),
                                          OSCArrayValue({std::int32_t{1}, OSCArrayValue({"in"})})};
    const OSCMessage built("/round/trip", values);
    const Data bytes = built.rawData();
    const OSCMessage parsed = OSCMessage::fromRawData(bytes);
    EXPECT_EQ(parsed, built);
    EXPECT_EQ(parsed.values(), values);
    EXPECT_EQ(parsed.rawData(), bytes);
}

TEST(Message, ParsedMessagesKeepTheirBytes) {
    // Bytes after the last argument are ignored by the parse but kept.
    const Data bytes = bytesOf("'/a' 00 00 ',i' 00 00 00 00 00 01 DE AD BE EF");
    const OSCMessage parsed = OSCMessage::fromRawData(bytes);
    EXPECT_EQ(parsed.rawData(), bytes);
    EXPECT_EQ(parsed, OSCMessage("/a", {std::int32_t{1}})); // cached bytes are not compared
    EXPECT_EQ(std::hash<OSCMessage>{}(parsed), std::hash<OSCMessage>{}(OSCMessage("/a", {std::int32_t{1}})));
    Data moved = bytes;
    EXPECT_EQ(OSCMessage::fromRawData(std::move(moved)).rawData(), bytes);
    EXPECT_NE(OSCMessage("/a", {std::int32_t{1}}), OSCMessage("/a", {std::int32_t{2}}));
    EXPECT_NE(OSCMessage("/a"), OSCMessage("/b"));
}

TEST(Message, Descriptions) {
    EXPECT_EQ(OSCMessage("/a").description(), "OSCMessage(\"/a\")");
    EXPECT_EQ(OSCMessage("/a", {std::int32_t{1}, "x"}).description(),
              "OSCMessage(\"/a\", values: [1, \"x\"])");
    EXPECT_EQ(OSCMessage("/a").descriptionPretty(), "OSCMessage(\"/a\")");
    EXPECT_EQ(OSCMessage("/a", {std::int32_t{1}, "x"}).descriptionPretty(),
              "OSCMessage(\"/a\") with values:\n  Int32: 1\n  String: x");
}

TEST(Message, ErrorTexts) {
    EXPECT_STREQ(OSCDecodeError::malformed("Array termination tag ']' was not found.").what(),
                 "Malformed data: Array termination tag ']' was not found.");
    EXPECT_STREQ(OSCDecodeError::unexpectedType('x').what(), "Unexpected OSC Type Tag: x");
    EXPECT_STREQ(OSCDecodeError::internalInconsistency("y").what(), "Internal inconsistency: y");
}
