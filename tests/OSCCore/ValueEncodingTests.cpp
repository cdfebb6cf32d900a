#include "OSCCore/OSCEncodeError.h"
#include "OSCCore/OSCMessage.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

// No number type may pick its tag by guessing: only the widths with a fixed tag convert.
static_assert(std::is_constructible_v<OSCValue, std::int32_t>);
static_assert(std::is_constructible_v<OSCValue, std::int64_t>);
static_assert(std::is_constructible_v<OSCValue, float>);
static_assert(std::is_constructible_v<OSCValue, double>);
static_assert(!std::is_constructible_v<OSCValue, long long>);
static_assert(!std::is_constructible_v<OSCValue, unsigned long long>);
static_assert(!std::is_constructible_v<OSCValue, char>);
static_assert(!std::is_constructible_v<OSCValue, long double>);
static_assert(!std::is_constructible_v<OSCValue, int*>);
static_assert(!std::is_constructible_v<OSCValue, std::nullptr_t>);

namespace {

struct Case {
    const char* name;
    OSCValue value;
    const char* tags;    // after the ","
    const char* payload; // hex and quoted text
};

Data messageBytes(const std::string& tags, const Data& payload) {
    Data out = bytesOf("'/a' 00 00");
    Data tagPart = bytesOf("','") + Data(tags.begin(), tags.end());
    tagPart.resize(tagPart.size() + 4 - tagPart.size() % 4, 0);
    return out + tagPart + payload;
}

} // namespace

TEST(ValueEncoding, EveryTypeWritesItsTagAndWholeWordsBigEndian) {
    const Case cases[] = {
        {"int32 1", std::int32_t{1}, "i", "00 00 00 01"},
        {"int32 -2", std::int32_t{-2}, "i", "FF FF FF FE"},
        {"int64 -1", std::int64_t{-1}, "h", "FF FF FF FF FF FF FF FF"},
        {"float 1", 1.0f, "f", "3F 80 00 00"},
        {"double 1", 1.0, "d", "3F F0 00 00 00 00 00 00"},
        {"text abc", "abc", "s", "'abc' 00"},
        {"text abcd", "abcd", "s", "'abcd' 00 00 00 00"},
        {"empty text", "", "s", "00 00 00 00"},
        {"accent", "caf\xC3\xA9", "s", "'cafe' 00 00 00 00"},
        {"tab and line feed", "a\tb\n", "s", "'a?b?' 00 00 00 00"},
        {"blob 5", Data{1, 2, 3, 4, 5}, "b", "00 00 00 05 01 02 03 04 05 00 00 00"},
        {"blob 4", Data{1, 2, 3, 4}, "b", "00 00 00 04 01 02 03 04"},
        {"empty blob", Data{}, "b", "00 00 00 00"},
        {"true", true, "T", ""},
        {"false", false, "F", ""},
        {"impulse", OSCImpulseValue{}, "I", ""},
        {"null", OSCNullValue{}, "N", ""},
        {"character", ASCIICharacter("A"), "c", "00 00 00 41"},
        {"midi", OSCMIDIValue{1, 144, 60, 127}, "m", "01 90 3C 7F"},
        {"string alt", OSCStringAltValue("x"), "S", "'x' 00 00 00"},
        {"time tag", OSCTimeTag(0x0102030405060708ULL, 3), "t", "01 02 03 04 05 06 07 08"},
        {"array", OSCArrayValue({std::int32_t{1}, "x"}), "[is]", "00 00 00 01 'x' 00 00 00"},
        {"nested arrays", OSCArrayValue({OSCArrayValue({std::int32_t{1}}), OSCArrayValue()}), "[[i][]]",
         "00 00 00 01"},
        {"platform int", OSCInt{5}, "i", "00 00 00 05"},
        {"int8 -1", std::int8_t{-1}, "i", "FF FF FF FF"},
        {"int16 -2", std::int16_t{-2}, "i", "FF FF FF FE"},
        {"uint8 255", std::uint8_t{255}, "i", "00 00 00 FF"},
        {"uint16 65535", std::uint16_t{65535}, "i", "00 00 FF FF"},
        {"uint32", std::uint32_t{4000000000u}, "h", "00 00 00 00 EE 6B 28 00"},
        {"platform uint", OSCUInt{7}, "h", "00 00 00 00 00 00 00 07"},
        {"uint64", std::uint64_t{1}, "h", "00 00 00 00 00 00 00 01"},
        {"half 1.5", OSCFloat16::fromFloat(1.5f), "f", "3F C0 00 00"},
        {"graphics float", OSCGraphicsFloat{1.0}, "d", "3F F0 00 00 00 00 00 00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hexOf(OSCMessage("/a", {c.value}).rawData()),
                  hexOf(messageBytes(c.tags, bytesOf(c.payload))))
            << c.name;
}

TEST(ValueEncoding, NumbersOutsideTheirKindAreRefusedNotTruncated) {
    const OSCValue refused[] = {OSCInt{std::int64_t{1} << 40},
                                OSCUInt{std::numeric_limits<std::uint64_t>::max()},
                                std::numeric_limits<std::uint64_t>::max()};
    for (const auto& value : refused) {
        try {
            OSCMessage("/a", {value}).rawData();
            ADD_FAILURE() << value.description();
        } catch (const OSCEncodeError& e) {
            EXPECT_STREQ(e.what(), "General error.");
        }
    }
    EXPECT_STREQ(OSCEncodeError::unexpectedEncoder().what(), "Unexpected encoder type.");
}

TEST(ValueEncoding, HalfFloatsRoundToNearestAndOverflowToInfinity) {
    EXPECT_EQ(OSCFloat16::fromFloat(1.5f).bits, 0x3E00);
    EXPECT_EQ(OSCFloat16::fromFloat(1e6f).toFloat(), std::numeric_limits<float>::infinity());
    EXPECT_EQ(OSCFloat16::fromFloat(-2.0f).toFloat(), -2.0f);
    EXPECT_EQ(OSCFloat16::fromFloat(6e-8f).toFloat(), std::ldexp(1.0f, -24));       // smallest subnormal
    EXPECT_EQ(OSCFloat16::fromFloat(1.0f + std::ldexp(1.0f, -11)).toFloat(), 1.0f); // tie to even
}

TEST(ValueEncoding, DescriptionsOfValues) {
    EXPECT_EQ(OSCValue(std::int32_t{7}).description(), "7");
    EXPECT_EQ(OSCValue(3.0).description(), "3.0");
    EXPECT_EQ(OSCValue(0.1f).description(), "0.1");
    EXPECT_EQ(OSCValue(1e-5).description(), "1e-05");
    EXPECT_EQ(OSCValue("x").description(), "x");
    EXPECT_EQ(OSCValue("x").debugDescription(), "\"x\"");
    EXPECT_EQ(OSCValue(Data{1, 2, 3}).description(), "3 bytes");
    EXPECT_EQ(OSCValue(OSCMIDIValue{1, 144, 60, 10}).description(),
              "MIDI(portID: 0x01, status: 0x90, data1: 0x3C, data2: 0x0A)");
    EXPECT_EQ(OSCValue(OSCArrayValue({std::int32_t{1}, "x"})).description(), "[1, \"x\"]");
    EXPECT_EQ(OSCValue(OSCImpulseValue{}).description(), "Impulse");
    EXPECT_EQ(OSCValue(OSCNullValue{}).description(), "Null");
}

TEST(ValueEncoding, EqualityIsPerTypeAndHashFollowsIt) {
    EXPECT_EQ(OSCValue(std::int32_t{1}), OSCValue(std::int32_t{1}));
    EXPECT_NE(OSCValue(std::int32_t{1}), OSCValue(std::int64_t{1}));
    EXPECT_NE(OSCValue(1.0f), OSCValue(std::int32_t{1}));
    EXPECT_EQ(std::hash<OSCValue>{}(OSCValue(0.0)), std::hash<OSCValue>{}(OSCValue(-0.0)));
    EXPECT_TRUE(oscValuesEqual({}, {}));
    EXPECT_FALSE(oscValuesEqual(std::vector<OSCValue>{std::int32_t{1}}, {}));
    EXPECT_EQ(OSCStringAltValue("a"), "a");
}
