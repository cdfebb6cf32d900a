#include "OSCCore/ASCIIString.h"
#include "OSCCore/ByteOrder.h"
#include "OSCCore/NumberConversions.h"
#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCObject.h"
#include "OSCCore/TextUtilities.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

TEST(Robustness, MutatedPacketsDecodeOrFailWithACodecError) {
    const OSCBundle seed(
        {OSCMessage("/ch/12/mix/3/level", {std::int32_t{7}, 0.5f, "text", Data{1, 2, 3}}),
         OSCBundle({OSCMessage("/x", {OSCArrayValue({std::int32_t{1}, OSCArrayValue({2.0})})})})},
        OSCTimeTag(99));
    const Data base = seed.rawData();
    std::mt19937 random(12345);
    for (int round = 0; round < 20000; ++round) {
        Data bytes = base;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            switch (random() % 4) {
            case 0:
                bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
                break;
            case 1:
                bytes.resize(random() % (bytes.size() + 1));
                break;
            case 2:
                bytes.insert(bytes.begin() + static_cast<long>(random() % (bytes.size() + 1)),
                             static_cast<std::uint8_t>(random()));
                break;
            default: // a plausible size or length field
                if (bytes.size() >= 24)
                    bytes[16 + random() % 8] = static_cast<std::uint8_t>(random() % 2 ? 0xFF : 0x00);
            }
            if (bytes.empty())
                break;
        }
        try {
            if (auto object = decodeOSCObject(bytes)) {
                ASSERT_EQ(object->rawData(), bytes);
                object->description();
            }
        } catch (const OSCDecodeError&) {
        }
    }
}

TEST(Robustness, ByteOrder) {
    EXPECT_EQ(toFloat32(bytesOf("3F 80 00 00"), ByteOrder::bigEndian), 1.0f);
    EXPECT_LT(*toFloat32(bytesOf("3F 80 00 00"), ByteOrder::littleEndian), 1e-30f);
    EXPECT_EQ(toInt32(bytesOf("FF FF FF FE"), ByteOrder::bigEndian), -2);
    EXPECT_EQ(toInt32(bytesOf("01 02 03"), ByteOrder::bigEndian), std::nullopt);
    EXPECT_EQ(toInt64(bytesOf("01 02 03 04 05"), ByteOrder::bigEndian), std::nullopt);
    EXPECT_EQ(toUInt64(Data{}, ByteOrder::bigEndian), std::nullopt);
    const Data wide = bytesOf("AA 00 00 00 07 BB");
    EXPECT_EQ(toInt32(ByteView(wide).subspan(1, 4), ByteOrder::bigEndian), 7);
    EXPECT_EQ(hexOf(toData(1.0, ByteOrder::bigEndian)), "3F F0 00 00 00 00 00 00");
    EXPECT_EQ(hexOf(toData(1.0, ByteOrder::platformDefault)), "00 00 00 00 00 00 F0 3F");
    EXPECT_EQ(toFloat64(toData(-2.5, ByteOrder::littleEndian), ByteOrder::littleEndian), -2.5);
    EXPECT_EQ(hostByteOrder(), ByteOrder::littleEndian);
}

TEST(Robustness, ConversionsAndTextUtilities) {
    using osccore::integerValue;
    EXPECT_EQ(integerValue<std::int32_t>("+12"), 12);
    EXPECT_EQ(integerValue<std::int32_t>("-0"), 0);
    EXPECT_EQ(integerValue<std::int32_t>(" 12"), std::nullopt);
    EXPECT_EQ(integerValue<std::int32_t>("2147483648"), std::nullopt);
    EXPECT_EQ(integerValue<std::int32_t>("-2147483648"), -2147483648LL);
    EXPECT_EQ(integerValue<std::int64_t>("99999999999999999999"), std::nullopt);
    EXPECT_EQ(integerValue<std::uint8_t>("-0"), 0);
    EXPECT_EQ(integerValue<std::uint8_t>("-1"), std::nullopt);
    EXPECT_EQ(integerValue<std::int64_t>("3.0"), std::nullopt);
    EXPECT_EQ(integerValue<std::int64_t>("-"), std::nullopt);
    EXPECT_EQ(osccore::integerExactly<std::int8_t>(128), std::nullopt);
    EXPECT_EQ(osccore::integerExactly<std::int8_t>(-128), -128);
    EXPECT_EQ(osccore::integerExactly<std::uint8_t>(-1), std::nullopt);
    EXPECT_EQ(osccore::integerExactly<std::int64_t>(std::numeric_limits<std::uint64_t>::max()), std::nullopt);
    EXPECT_EQ(osccore::floatExactly<double>((std::int64_t{1} << 53) + 1), std::nullopt);
    EXPECT_EQ(osccore::floatExactly<double>(std::numeric_limits<std::int64_t>::max()), std::nullopt);
    EXPECT_EQ(osccore::floatExactly<double>(std::int64_t{1} << 53), std::ldexp(1.0, 53));
    EXPECT_EQ(osccore::integralAndFraction(-2.75), std::pair(-2.0, -0.75));
    EXPECT_EQ(osccore::addressComponents("/a//b"), (std::vector<std::string_view>{"a", "", "b"}));
    EXPECT_EQ(osccore::addressComponents("/a/b/"), (std::vector<std::string_view>{"a", "b"}));
    EXPECT_TRUE(osccore::addressComponents("//").empty());
    EXPECT_EQ(osccore::addressComponents("ab"), std::vector<std::string_view>{"ab"});
    EXPECT_EQ(osccore::trimmed(" \t\xC2\xA0x y\n\xE2\x80\xA8"), "x y");
    EXPECT_TRUE(osccore::isASCII(""));
}

TEST(Robustness, CodecIsUsableFromManyThreadsAtOnce) {
    // Each thread builds its own transliterator and text segmenter on first use and shares
    // the registry; values are plain and may be decoded anywhere.
    const Data bytes = OSCMessage("/caf\xC3\xA9/[a-c]", {"\xC3\xBC", std::int32_t{1}}).rawData();
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                const auto object = decodeOSCObject(bytes);
                const bool ok = object && object->message()->addressPattern().matches("/cafe/b") &&
                                latinASCIITransform("\xC3\xA9t\xC3\xA9").stringValue() == "ete";
                good += ok ? 1 : 0;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(good.load(), 8 * 200);
}
