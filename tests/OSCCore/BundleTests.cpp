#include "OSCCore/OSCBundle.h"
#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCObject.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

namespace {

const Data header = bytesOf("'#bundle' 00");
const Data immediate = bytesOf("00 00 00 00 00 00 00 01");
const Data message12 = bytesOf("'/abc' 00 00 00 00 ',' 00 00 00"); // 12 bytes

Data sized(const Data& element) {
    const auto n = static_cast<std::uint32_t>(element.size());
    return Data{std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)} +
           element;
}

std::string parseError(const Data& bytes) {
    try {
        decodeOSCObject(bytes);
    } catch (const OSCDecodeError& e) {
        return e.what();
    }
    return "(parsed)";
}

} // namespace

TEST(Bundle, EveryParseFailureHasItsText) {
    const std::string p = "Malformed data: ";
    const Data nested33 = [] {
        Data inner = header + immediate;
        for (int i = 0; i < 33; ++i)
            inner = header + immediate + sized(inner);
        return inner;
    }();
    const struct {
        Data bytes;
        std::string error;
    } cases[] = {
        {header + bytesOf("00 00 00 00 00 00 00"), p + "Data length too short. (Length is 15)"},
        {bytesOf("'#bundlX' 00") + immediate, "(parsed)"}, // not a bundle: neither kind, so nothing
        {header + immediate + bytesOf("00 00 00"), p + "Data bytes ended earlier than expected."},
        {header + immediate + bytesOf("00 00 00 10") + message12,
         p + "Data bytes ended earlier than expected."},
        {header + immediate + bytesOf("FF FF FF F4") + message12, p + "Bundle element size is negative."},
        {header + immediate + sized(bytesOf("'xyz' 00")), p + "Unrecognized bundle element encountered."},
        {header + immediate + sized({}), p + "Unrecognized bundle element encountered."},
        {header + immediate + sized(bytesOf("'/a' 00 00 ',q' 00 00")),
         p + "No decoder found to decode OSC type tag: q"},
        {header + immediate + sized(bytesOf("'/a' 00 00 ',' 00 00")),
         p + "Length not a multiple of 4 bytes."},
        {nested33, p + "Bundle nesting is too deep."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseError(c.bytes), c.error) << hexOf(c.bytes);
    try {
        OSCBundle::fromRawData(bytesOf("'#bundlX' 00") + immediate);
        ADD_FAILURE();
    } catch (const OSCDecodeError& e) {
        EXPECT_STREQ(e.what(), "Malformed data: Bundle header is not present or is malformed.");
    }
}

TEST(Bundle, ParsesNestedBundlesWithTheirOwnTimeTags) {
    const Data empty = header + immediate;
    auto bare = OSCBundle::fromRawData(empty);
    EXPECT_TRUE(bare.elements().empty());
    EXPECT_TRUE(bare.timeTag().isImmediate());

    const Data inner = header + bytesOf("00 00 00 00 00 00 00 03") + sized(message12);
    const Data middle = header + bytesOf("00 00 00 00 00 00 00 02") + sized(inner) + sized(message12);
    const Data outer = header + bytesOf("00 00 00 00 00 00 00 01") + sized(middle);
    const auto object = decodeOSCObject(outer);
    ASSERT_TRUE(object && object->bundle());
    const OSCBundle& b1 = *object->bundle();
    ASSERT_EQ(b1.elements().size(), 1u);
    const OSCBundle& b2 = *b1.elements()[0].bundle();
    EXPECT_EQ(b2.timeTag().rawValue(), 2u);
    ASSERT_EQ(b2.elements().size(), 2u);
    EXPECT_EQ(b2.elements()[0].bundle()->timeTag().rawValue(), 3u);
    EXPECT_EQ(*b2.elements()[1].message(), OSCMessage("/abc"));
    EXPECT_EQ(object->rawData(), outer);
    EXPECT_EQ(b2.rawData(), middle); // nested elements keep their own bytes too

    const Data trailing = header + immediate + sized(message12 + bytesOf("01 02 03 04"));
    EXPECT_EQ(OSCBundle::fromRawData(trailing).rawData(), trailing);
}

TEST(Bundle, EncodesSizedElements) {
    const OSCBundle bundle({OSCMessage("/abc")});
    EXPECT_EQ(hexOf(bundle.rawData()), hexOf(header + immediate + sized(message12)));
    EXPECT_EQ(bundle.rawData().size(), 32u);
    const OSCBundle timed({OSCBundle({}, OSCTimeTag(7)), OSCMessage("/abc")},
                          OSCTimeTag(0x0102030405060708ULL));
    EXPECT_EQ(hexOf(timed.rawData()),
              hexOf(header + bytesOf("01 02 03 04 05 06 07 08") +
                    sized(header + bytesOf("00 00 00 00 00 00 00 07")) + sized(message12)));
    EXPECT_EQ(OSCBundle::fromRawData(timed.rawData()), timed);
}

TEST(Bundle, EqualityIgnoresTimeTags) {
    EXPECT_EQ(OSCBundle({OSCMessage("/a")}, OSCTimeTag(5)), OSCBundle({OSCMessage("/a")}));
    EXPECT_NE(OSCBundle({OSCMessage("/a")}), OSCBundle({OSCMessage("/b")}));
    EXPECT_NE(OSCBundle({OSCMessage("/a")}),
              OSCBundle(std::vector<OSCObject>{OSCBundle({OSCMessage("/a")})}));
    EXPECT_EQ(std::hash<OSCBundle>{}(OSCBundle({OSCMessage("/a")}, OSCTimeTag(5))),
              std::hash<OSCBundle>{}(OSCBundle({OSCMessage("/a")})));
}

TEST(Bundle, Descriptions) {
    EXPECT_EQ(OSCBundle().description(), "OSCBundle()");
    EXPECT_EQ(OSCBundle({OSCMessage("/a")}, OSCTimeTag(5)).description(),
              "OSCBundle(timeTag: 5, elements: [OSCMessage(\"/a\")])");
    EXPECT_EQ(OSCBundle({OSCMessage("/a"), OSCMessage("/b")}).descriptionPretty(),
              "OSCBundle() with elements:\n  OSCMessage(\"/a\")\n  OSCMessage(\"/b\")");
}

TEST(Bundle, PacketKindTest) {
    EXPECT_EQ(oscObjectType(bytesOf("'#bundle'")), std::nullopt);
    EXPECT_EQ(oscObjectType(header), OSCObjectType::bundle);
    EXPECT_EQ(oscObjectType(bytesOf("'/x'")), OSCObjectType::message);
    EXPECT_EQ(oscObjectType(Data{}), std::nullopt);
    EXPECT_FALSE(decodeOSCObject(bytesOf("'#bundle'")).has_value());
    EXPECT_FALSE(decodeOSCObject(bytesOf("'hello!!!'")).has_value());
    Data moved = message12;
    auto object = decodeOSCObject(std::move(moved));
    ASSERT_TRUE(object && object->message());
    EXPECT_EQ(object->type(), OSCObjectType::message);
    EXPECT_EQ(object->rawData(), message12);
}
