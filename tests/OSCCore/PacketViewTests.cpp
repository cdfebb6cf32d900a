#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCObject.h"
#include "OSCCore/OSCPacketView.h"
#include "OSCCore/OSCPacketWriter.h"
#include "OSCCore/OSCValueMasking.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdlib>
#include <new>
#include <random>
#include <span>
#include <string_view>

namespace {

std::atomic<long> allocations{0};

// The values the in-place reader sees, as the full decoder would give them.
OSCValues viewValues(const OSCMessageView& m) {
    OSCValues out;
    for (const OSCArgumentView a : m) {
        switch (a.tag()) {
        case 'i':
            out.emplace_back(a.int32());
            break;
        case 'f':
            out.emplace_back(a.float32());
            break;
        case 'd':
            out.emplace_back(a.float64());
            break;
        case 'h':
            out.emplace_back(a.int64());
            break;
        case 's':
            out.emplace_back(std::string(a.string()));
            break;
        case 'b':
            out.emplace_back(Data(a.blob().begin(), a.blob().end()));
            break;
        case 'T':
        case 'F':
            out.emplace_back(a.boolean());
            break;
        case 'N':
            out.emplace_back(OSCNullValue{});
            break;
        case 'I':
            out.emplace_back(OSCImpulseValue{});
            break;
        }
    }
    return out;
}

// The reader agrees with the full decoder: what it accepts decodes to the same address and
// values, and what the full decoder refuses it refuses too.
void expectAgreement(ByteView bytes) {
    std::optional<OSCMessage> full;
    try {
        full = OSCMessage::fromRawData(bytes);
    } catch (const OSCDecodeError&) {
    }
    OSCMessageView view;
    try {
        if (OSCMessageView::parse(bytes, view) == OSCMessageView::Status::unsupported)
            return;
    } catch (const OSCDecodeError&) {
        EXPECT_FALSE(full) << "the reader refused what the decoder read";
        return;
    }
    ASSERT_TRUE(full) << "the reader accepted what the decoder refuses";
    EXPECT_EQ(view.address(), full->addressPattern().rawAddress());
    // Compared as bytes, so a NaN read by both counts as equal.
    EXPECT_EQ(OSCMessage("/x", viewValues(view)).rawData(), OSCMessage("/x", full->values()).rawData());
    EXPECT_EQ(view.argumentCount(), full->values().size());
    // Console lines print the arguments: the in-place text must be the decoded value's.
    std::size_t i = 0;
    for (const OSCArgumentView a : view) {
        std::string text;
        a.appendDescription(text);
        ASSERT_LT(i, full->values().size());
        const OSCValue& value = full->values()[i++];
        EXPECT_EQ(text, value.description()) << "argument " << a.tag();
        // A number read in place is the decoded number, bit for bit (NaN included).
        const bool isNumber = std::string_view("ifdh").find(a.tag()) != std::string_view::npos;
        ASSERT_EQ(a.number().has_value(), isNumber) << "argument " << a.tag();
        if (isNumber) {
            auto [decoded] = masked<AnyOSCNumberValue>(std::span(&value, 1));
            EXPECT_EQ(std::bit_cast<std::uint64_t>(*a.number()),
                      std::bit_cast<std::uint64_t>(decoded.doubleValue()));
        }
    }
}

} // namespace

// Counts every allocation of this program, so a test can tell that a path makes none.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

TEST(PacketWriter, WritesTheBytesOfTheFullEncoder) {
    Data buffer;
    const Data blob{1, 2, 3, 4, 5};
    OSCPacketWriter(buffer).message("/ch/12/mix/3/level", std::int32_t{-73}, 0.5f, 2.25,
                                    std::int64_t{1} << 40, true, false, "text", std::string("four"),
                                    ByteView(blob));
    EXPECT_EQ(buffer, OSCMessage("/ch/12/mix/3/level", {std::int32_t{-73}, 0.5f, 2.25, std::int64_t{1} << 40,
                                                        true, false, "text", "four", blob})
                          .rawData());
    // Text that is not printable ASCII is transliterated by both.
    OSCPacketWriter(buffer).message("/sönavant/ü", "Grüße");
    EXPECT_EQ(buffer, OSCMessage("/sönavant/ü", {"Grüße"}).rawData());
    OSCPacketWriter(buffer).message("/a");
    EXPECT_EQ(buffer, OSCMessage("/a").rawData());

    OSCPacketWriter writer(buffer);
    writer.beginBundle(99).message("/x", 1.5f).message("/yy", std::int32_t{2}, "z");
    EXPECT_EQ(buffer,
              OSCBundle({OSCMessage("/x", {1.5f}), OSCMessage("/yy", {std::int32_t{2}, "z"})}, OSCTimeTag(99))
                  .rawData());
}

TEST(PacketView, ReadsWhatTheWriterWroteWithoutAllocating) {
    Data buffer;
    buffer.reserve(4096);
    OSCPacketWriter(buffer).message("/dbaudio1/positioning/source_position_xy/12", 1.2345f, -3.5f);
    const long before = allocations.load();
    double sum = 0;
    for (int i = 0; i < 100; ++i) {
        OSCPacketWriter(buffer).message("/sonavant/speaker/position/", std::int32_t{i}, 1.5f, "name");
        OSCMessageView m;
        ASSERT_EQ(OSCMessageView::parse(buffer, m), OSCMessageView::Status::ok);
        auto a = m.begin();
        sum += (*a).int32() + (*++a).float32();
        EXPECT_EQ((*++a).string(), "name");
        EXPECT_EQ(++a, m.end());
        OSCPacketWriter writer(buffer);
        writer.beginBundle();
        for (int k = 0; k < 32; ++k)
            writer.message("/ch/1/mix/3/level", std::int32_t{k});
        for (ByteView element : OSCBundleView::parse(buffer)) {
            ASSERT_EQ(OSCMessageView::parse(element, m), OSCMessageView::Status::ok);
            sum += (*m.begin()).int32();
        }
    }
    EXPECT_EQ(allocations.load(), before);
    EXPECT_EQ(sum, 100 * 1.5 + 4950 + 100 * 496);
}

TEST(PacketView, AgreesWithTheFullDecoderOnMutatedMessages) {
    const Data blob{9, 8, 7};
    const Data base =
        OSCMessage("/ch/12/mix/3/level", {std::int32_t{7}, 0.5f, "text", blob, 2.5, std::int64_t{-3}, true,
                                          OSCNullValue{}, OSCImpulseValue{}})
            .rawData();
    // Kinds the reader leaves to the full decoder.
    OSCMessageView view;
    EXPECT_EQ(OSCMessageView::parse(OSCMessage("/a", {OSCArrayValue({std::int32_t{1}})}).rawData(), view),
              OSCMessageView::Status::unsupported);
    expectAgreement(base);
    std::mt19937 random(777);
    for (int round = 0; round < 20000; ++round) {
        Data bytes = base;
        const int edits = 1 + static_cast<int>(random() % 3);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            switch (random() % 3) {
            case 0:
                bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
                break;
            case 1:
                bytes.resize(random() % (bytes.size() + 1) / 4 * 4);
                break;
            default: // a length field or a tag
                bytes[20 + random() % 12] = static_cast<std::uint8_t>("ifsbdhTFNI,\xff"[random() % 12]);
            }
        }
        expectAgreement(bytes);
    }
}

TEST(PacketView, BundleBoundsAreCheckedAsTheFullDecoderChecksThem) {
    const Data good = OSCBundle({OSCMessage("/x", {1.5f}), OSCMessage("/y")}, OSCTimeTag(5)).rawData();
    EXPECT_EQ(OSCBundleView::parse(good).timeTag(), 5u);
    for (std::size_t cut = 4; cut < good.size(); cut += 4) {
        const ByteView shorter(good.data(), cut);
        bool fullFailed = false;
        try {
            fullFailed = !decodeOSCObject(shorter);
        } catch (const OSCDecodeError&) {
            fullFailed = true;
        }
        bool viewFailed = false;
        try {
            for (ByteView element : OSCBundleView::parse(shorter)) {
                OSCMessageView m;
                OSCMessageView::parse(element, m);
            }
        } catch (const OSCDecodeError&) {
            viewFailed = true;
        }
        EXPECT_EQ(viewFailed, fullFailed) << "cut at " << cut;
    }
    Data negative = good;
    negative[16] = 0xFF;
    EXPECT_THROW(OSCBundleView::parse(negative), OSCDecodeError);
}
