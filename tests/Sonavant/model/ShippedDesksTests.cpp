#include "Sonavant/model/DeskRoute.h"
#include "Sonavant/model/MixingDeskRoot.h"

#include "ModelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

MixingDeskRoot shippedDesks() {
    return MixingDeskRoot::readFile(sourceDir() / "resources" / "MixingDesks.plist");
}

const MixingDesk* deskNamed(const MixingDeskRoot& root, const std::string& name) {
    for (const auto& d : root.mixingDesks)
        if (d.name == name)
            return &d;
    return nullptr;
}

bool isOSCAddress(const std::string& a) {
    if (a.size() < 2 || a[0] != '/' || a.find("//") != std::string::npos || a.back() == '/')
        return false;
    return std::all_of(a.begin(), a.end(), [](char c) {
        return c > 0x20 && c < 0x7F && std::string_view(" #*,?[]{}").find(c) == std::string_view::npos;
    });
}

// A text command line: printable ASCII words separated by single blanks.
bool isTextCommand(const std::string& line) {
    if (line.empty() || line.front() == ' ' || line.back() == ' ' || line.find("  ") != std::string::npos)
        return false;
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return c >= 0x20 && c < 0x7F && c != '{' && c != '}'; });
}

} // namespace

TEST(ShippedDesks, DecodeWithFixedIdsAndTheNamedDesks) {
    const MixingDeskRoot root = shippedDesks();
    ASSERT_FALSE(root.mixingDesks.empty());
    // Fixed ids: a saved show's desk equals the definition read afresh.
    EXPECT_EQ(shippedDesks(), root);
    std::set<platform::UUID> ids;
    for (const auto& d : root.mixingDesks)
        ids.insert(d.id);
    EXPECT_EQ(ids.size(), root.mixingDesks.size());
    // And the written form of each desk reads back equal.
    EXPECT_EQ(MixingDeskRoot::decode(throughJSON(root.encode()), ""), root);
    EXPECT_EQ(MixingDeskRoot::decode(throughPropertyList(root.encode()), ""), root);

    const MixingDesk* soundscape = deskNamed(root, "D&B Soundscape");
    ASSERT_NE(soundscape, nullptr);
    EXPECT_EQ(soundscape->displayName, "D&B Soundscape");
    EXPECT_EQ(soundscape->defaultPort, 50010);
    EXPECT_EQ(soundscapePositionAddress(*soundscape, 3), "/dbaudio1/positioning/source_position_xy/3");

    const MixingDesk* qlab = deskNamed(root, "QLab 5");
    ASSERT_NE(qlab, nullptr);
    EXPECT_EQ(qlab->displayName, "QLab 5");
    EXPECT_EQ(routeDeskSend(*qlab, "Cue", 9, *qlab->mixName, 4, DeskRouteCaller::levelEngine).address,
              "/cue/selected/level/0/4");
    EXPECT_EQ(routeDeskSend(*qlab, "Input", 2, *qlab->mixName, 4, DeskRouteCaller::levelEngine).address,
              "/cue/selected/level/2/4");

    auto tcp = std::find_if(root.mixingDesks.begin(), root.mixingDesks.end(), [](auto& d) { return !d.UDP; });
    ASSERT_NE(tcp, root.mixingDesks.end());
    EXPECT_EQ(routeDeskSend(*tcp, tcp->inputName, 1, *tcp->mixName, 1, DeskRouteCaller::levelEngine).address,
              "set MIXER:Current/InCh/ToMix/Level 0 0");
}

TEST(ShippedDesks, EveryTemplateFillsAndEveryRangeMapsZeroDecibels) {
    for (const auto& desk : shippedDesks().mixingDesks) {
        SCOPED_TRACE(desk.name);
        const platform::Value tree = desk.encode();
        int templates = 0;
        for (const auto& [key, value] : *tree.asObject()) {
            if (key.find("OSC") == std::string::npos || !value.asText())
                continue;
            ++templates;
            SCOPED_TRACE(key);
            for (std::int64_t n : {1, 64}) {
                // What goes out: over UDP as is, over TCP lowered to 0-based.
                const std::int64_t shift = desk.UDP ? 0 : 1;
                std::string filled = fillDeskTemplate(*value.asText(), n - shift, n - shift);
                EXPECT_TRUE(desk.UDP ? isOSCAddress(filled) : isTextCommand(filled)) << filled;
            }
        }
        EXPECT_GT(templates, 0);

        for (const auto& [key, value] : *tree.asObject()) {
            if (!key.ends_with("Range"))
                continue;
            SCOPED_TRACE(key);
            auto texts = platform::decodeValue<DeskRangeTexts>(value);
            auto range = parseDeskRange(texts);
            ASSERT_TRUE(range);
            // The engine puts 0 dB at 80/90 of the way from lower to upper.
            EXPECT_DOUBLE_EQ(range->lower + (range->upper - range->lower) * 80 / 90, 0);
        }

        // Every kind offered for loudspeakers has channels to add.
        for (const auto& kind : desk.offeredSpeakerTypes())
            EXPECT_GT(channelCount(kind, desk), 0) << kind;
    }
}

TEST(ShippedDesks, ResourceIsFoundAtRunTime) {
    auto path = mixingDesksResourcePath();
    ASSERT_TRUE(path);
    EXPECT_EQ(MixingDeskRoot::readFile(*path), shippedDesks());
    EXPECT_THROW(MixingDeskRoot::readFile(sourceDir() / "resources" / "NoSuchFile.plist"),
                 std::runtime_error);
}
