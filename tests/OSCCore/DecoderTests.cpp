#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCSerialization.h"
#include "OSCCore/OSCSerializationError.h"
#include "OSCCore/OSCValueDecoder.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

namespace {

template <class F> std::string readError(F&& f) {
    try {
        f();
    } catch (const OSCDecodeError& e) {
        return e.what();
    }
    return "(read)";
}

std::vector<std::string> names(const std::vector<OSCValueType>& types) {
    std::vector<std::string> out;
    for (const auto& t : types)
        out.push_back(t.name);
    return out;
}

} // namespace

TEST(ValueDecoder, PrimitiveReads) {
    const Data bytes = bytesOf("'abc' 00 'abcd' 00 00 00 00");
    OSCValueDecoder e(bytes);
    const auto first = e.readPaddedChunk();
    EXPECT_EQ(std::string(first.begin(), first.end()), "abc");
    EXPECT_EQ(e.pos, 4);
    const auto second = e.readPaddedChunk();
    EXPECT_EQ(std::string(second.begin(), second.end()), "abcd");
    EXPECT_EQ(e.pos, 12);

    const Data three = bytesOf("00 00 00");
    OSCValueDecoder short3(three);
    EXPECT_EQ(readError([&] { short3.readPaddedChunk(); }),
              "Malformed data: Not enough bytes in 4-byte aligned null-terminated data chunk.");
    EXPECT_EQ(readError([&] { short3.readInt32(); }),
              "Malformed data: Not enough bytes while reading Int32 data chunk.");
    EXPECT_EQ(short3.pos, 0);
    EXPECT_EQ(readError([&] { short3.readBytes(8); }),
              "Malformed data: Not enough bytes remain in data stream. Attempted to read 8 bytes but only 3 "
              "bytes remain.");
    EXPECT_EQ(readError([&] { short3.readBytes(-1); }),
              "Internal inconsistency: Negative byte count requested: -1");
    EXPECT_EQ(
        readError([&] { short3.advance(4); }),
        "Malformed data: Attempted to advance byte read position past end of available bytes. 3 bytes remain "
        "but 4 were advanced.");

    // Blob padding is checked against what is left, even off the 4-byte grid.
    const Data blob = bytesOf("00 00 00 05 01 02 03 04 05 00");
    OSCValueDecoder b(blob);
    EXPECT_EQ(readError([&] { b.readBlob(); }),
              "Malformed data: Not enough bytes in 4-byte aligned null-terminated blob data chunk.");
    const Data blob5 = bytesOf("00 00 00 05 01 02 03 04 05 00 00 00 00 00 00 09");
    OSCValueDecoder b5(blob5);
    EXPECT_EQ(b5.readBlob(), (Data{1, 2, 3, 4, 5}));
    EXPECT_EQ(b5.readInt32(), 9);

    Data terminated;
    appendNullTerminator(terminated);
    EXPECT_EQ(terminated.size(), 4u);
    terminated = Data{1, 2, 3};
    appendNullTerminator(terminated);
    EXPECT_EQ(terminated.size(), 4u);
}

TEST(Registry, RegistrationRules) {
    OSCSerialization registry;
    EXPECT_EQ(names(registry.registeredTypes('i')), (std::vector<std::string>{"Int32", "OSCArrayValue"}));
    EXPECT_EQ(names(registry.registeredTypes('[')), std::vector<std::string>{"OSCArrayValue"});
    EXPECT_EQ(names(registry.registeredTypes('T')), (std::vector<std::string>{"Bool", "OSCArrayValue"}));

    const OSCValueType clash{"Clash", OSCValueTagIdentity::atomic('i'), OSCValueToken::int32,
                             OSCValueAtomicDecoder{}};
    try {
        registry.registerType(clash);
        ADD_FAILURE();
    } catch (const OSCSerializationError& e) {
        EXPECT_STREQ(e.what(), "Tag already registered");
    }
    EXPECT_EQ(registry.registeredTypes('i').size(), 2u);

    const OSCValueType shared{"Z", OSCValueTagIdentity::variable("iZ"), OSCValueToken::stringAlt,
                              OSCValueVariableDecoder{[](char tag, OSCValueDecoder&) {
                                  return OSCValue(OSCStringAltValue(std::string(1, tag)));
                              }}};
    registry.registerType(shared);
    registry.registerType({"More", OSCValueTagIdentity::variadic(std::nullopt, 3), OSCValueToken::array,
                           OSCValueVariadicDecoder{}});
    EXPECT_EQ(names(registry.registeredTypes('i')),
              (std::vector<std::string>{"Int32", "OSCArrayValue", "Z", "More"}));

    // "Z" decodes through the new type, after the array type has declined; "q" reaches
    // only the variadic type, which has no block.
    const Data none;
    OSCValueDecoder decoder(none, &registry);
    OSCValues values;
    EXPECT_EQ(registry.decoderForTag(0, "Z", decoder, values), 1);
    EXPECT_EQ(values.back(), OSCValue(OSCStringAltValue("Z")));
    EXPECT_EQ(readError([&] { registry.decoderForTag(0, "q", decoder, values); }),
              "Malformed data: No decoder is implemented for OSC type tag: q");
    OSCSerialization plain; // unaffected by the other registry
    EXPECT_EQ(names(plain.registeredTypes('Z')), std::vector<std::string>{"OSCArrayValue"});
    EXPECT_EQ(readError([&] { plain.decoderForTag(0, "Z", decoder, values); }),
              "Malformed data: No decoder found to decode OSC type tag: Z");

    EXPECT_NE(OSCValueTagIdentity::variadic(std::nullopt, 3),
              OSCValueTagIdentity::variadic(std::nullopt, std::nullopt));
}

TEST(Registry, BooleanDecoderRefusesOtherTags) {
    const auto& boolean = OSCSerialization::coreOSCValueTypes()[4];
    const Data none;
    OSCValueDecoder d(none);
    EXPECT_EQ(readError([&] { OSCSerialization::decodeValueOfType(boolean, 0, "x", d); }),
              "Unexpected OSC Type Tag: x");
}

TEST(Registry, AVariadicDecoderThatUsesNoTagsCannotStallAParse) {
    OSCSerialization registry;
    registry.registerType(
        {"Stall", OSCValueTagIdentity::variadic(std::nullopt, std::nullopt), OSCValueToken::array,
         OSCValueVariadicDecoder{[](std::string_view, OSCValueDecoder&) {
             return std::optional<std::pair<int, OSCValue>>(std::pair{0, OSCValue(OSCNullValue{})});
         }}});
    const Data none;
    OSCValueDecoder d(none, &registry);
    OSCValues values;
    EXPECT_EQ(readError([&] { registry.decoderForTag(0, "q", d, values); }),
              "Internal inconsistency: Decoder of Stall used 0 type tags.");
}
