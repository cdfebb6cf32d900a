#include "Sonavant/model/DeskRoute.h"
#include "Sonavant/model/MixingDeskRoot.h"

#include "ModelTestSupport.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

using platform::CodingError;
using platform::Value;
using platform::ValueArray;
using platform::ValueObject;

namespace {

ValueObject minimalDeskTree() {
    return {{"id", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
            {"brand", "Acme"},
            {"name", "Acme 1"},
            {"displayName", "Acme One"},
            {"defaultPort", 10023},
            {"OSCFloat", true},
            {"inputsNum", 32},
            {"inputColour", "blue"},
            {"inputName", "Input"},
            {"UDP", true}};
}

// A desk with every kind, every send template and every range.
MixingDesk fullDesk() {
    MixingDesk d = support::acmeDesk({.name = "Acme 1", .inputs = 32, .oscFloat = true});
    d.displayName = "Acme One";
    d.mixSendEnabled = true;
    d.mixOSCLevel = "/mix/{m}/level";
    d.mixOSCLevelRange = DeskRangeTexts{"-90", "10"};
    d.mixOSCMute = "/mix/{m}/mute";
    d.mixOSCUnMute = "/mix/{m}/unmute";
    d.mixOSCSend = "/ch/{n}/mix/{m}";
    d.mixOSCSendToMtx = "/mix/{n}/mtx/{m}";
    d.mixOSCSendToMtxRange = DeskRangeTexts{"-80", "10"};
    d.mixToMix = false;
    d.cueModeEnabled = true;
    d.cueName = "Cue";
    d.cueColour = "purple";
    d.cueOSC = "/cue/{n}/mix/{m}";
    d.cueRange = DeskRangeTexts{"0", "1"};
    d.groupEnabled = true;
    d.groupName = "Group";
    d.groupNum = 8;
    d.groupColour = "teal";
    d.groupOSCLevel = "/grp/{m}";
    d.groupOSCLevelRange = DeskRangeTexts{"-90", "10"};
    d.groupOSCMute = "/grp/{m}/mute";
    d.groupOSCUnMute = "/grp/{m}/unmute";
    d.groupOSCSendOn = "/ch/{n}/grp/{m}/on";
    d.groupOSCSendOff = "/ch/{n}/grp/{m}/off";
    d.groupOSCSendToMix = "/grp/{n}/mix/{m}";
    d.groupOSCSendToMixRange = DeskRangeTexts{"-90", "10"};
    d.groupOSCSendToMtx = "/grp/{n}/mtx/{m}";
    d.groupOSCSendToMtxRange = DeskRangeTexts{"-90", "10"};
    d.mtxEnabled = true;
    d.mtxName = "Matrix";
    d.mtxNum = 8;
    d.mtxColour = "orange";
    d.mtxOSCLevel = "/mtx/{m}";
    d.mtxOSCLevelRange = DeskRangeTexts{"-90", "10"};
    d.mtxOSCMute = "/mtx/{m}/mute";
    d.mtxOSCUnMute = "/mtx/{m}/unmute";
    d.mtxOSCSend = "/ch/{n}/mtx/{m}";
    d.mtxOSCSendRange = DeskRangeTexts{"-70", "5"};
    d.positionOSC = "/pos/{n}";
    d.inputToMtx = true;
    return d;
}

} // namespace

TEST(MixingDesk, MinimalDeskDecodesAndWritesBackExactlyItsTenKeys) {
    const Value tree(minimalDeskTree());
    for (const Value& written : {tree, throughPropertyList(tree), throughJSON(tree)}) {
        MixingDesk d = MixingDesk::decode(written, "");
        EXPECT_EQ(d.id.string(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
        EXPECT_EQ(d.defaultPort, 10023);
        EXPECT_FALSE(d.mixName || d.mixNum || d.cueRange || d.inputToMtx || d.positionOSC || d.mtxEnabled);
        EXPECT_EQ(d.encode(), tree);
        EXPECT_EQ(d.encodedKeys(),
                  (std::vector<std::string>{"id", "brand", "name", "displayName", "defaultPort", "OSCFloat",
                                            "inputsNum", "inputColour", "inputName", "UDP"}));
    }
}

TEST(MixingDesk, FullDeskRoundTripsAndKeepsItsKeyOrder) {
    const MixingDesk d = fullDesk();
    for (const Value& written : {throughPropertyList(d.encode()), throughJSON(d.encode())})
        EXPECT_EQ(MixingDesk::decode(written, ""), d);

    const auto& order = MixingDesk::encodingKeyOrder();
    ASSERT_EQ(order.size(), 55u);
    EXPECT_EQ(d.encodedKeys(), order);
    auto sorted = order;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(keysOf(d.encode()), sorted);
    // The cue keys are written last, after UDP.
    EXPECT_EQ(order[49], "UDP");
    EXPECT_EQ(std::vector<std::string>(order.end() - 5, order.end()),
              (std::vector<std::string>{"cueModeEnabled", "cueName", "cueColour", "cueOSC", "cueRange"}));
}

TEST(MixingDesk, EqualityCoversEveryFieldIncludingId) {
    const MixingDesk a = fullDesk();
    MixingDesk b = a;
    EXPECT_EQ(a, b);
    b.mtxOSCSendRange = DeskRangeTexts{"-70", "5", "1"};
    EXPECT_NE(a, b);
    b = a;
    b.mixToMix.reset();
    EXPECT_NE(a, b);
    b = a;
    b.id = platform::UUID::random();
    EXPECT_NE(a, b);

    // Without an id every read makes a new one, so two reads of one definition differ.
    ValueObject noId = minimalDeskTree();
    noId.erase("id");
    MixingDesk first = MixingDesk::decode(Value(noId), ""), second = MixingDesk::decode(Value(noId), "");
    EXPECT_NE(first.id, second.id);
    EXPECT_NE(first, second);
    EXPECT_NE(first.encode().find("id"), nullptr);
}

TEST(MixingDesk, DecodingNamesTheFirstBadKey) {
    auto failure = [](const ValueObject& tree) {
        try {
            MixingDesk::decode(Value(tree), "selectedDesk");
        } catch (const CodingError& e) {
            return std::make_pair(e.reason(), e.path());
        }
        return std::make_pair(CodingError::Reason::valueNotFound, std::string("decoded"));
    };
    ValueObject tree = minimalDeskTree();
    tree.erase("UDP");
    tree.erase("brand");
    // Required keys are read brand first, UDP last.
    EXPECT_EQ(failure(tree),
              std::make_pair(CodingError::Reason::keyNotFound, std::string("selectedDesk.brand")));
    tree = minimalDeskTree();
    tree["UDP"] = "yes";
    EXPECT_EQ(failure(tree),
              std::make_pair(CodingError::Reason::typeMismatch, std::string("selectedDesk.UDP")));
    tree = minimalDeskTree();
    tree["mixNum"] = "sixteen";
    EXPECT_EQ(failure(tree),
              std::make_pair(CodingError::Reason::typeMismatch, std::string("selectedDesk.mixNum")));
    tree = minimalDeskTree();
    tree["mixOSCSendRange"] = ValueArray{Value(-90), Value(10)};
    EXPECT_EQ(failure(tree).second, "selectedDesk.mixOSCSendRange[0]");
    tree = minimalDeskTree();
    tree["id"] = "not-a-uuid";
    EXPECT_EQ(failure(tree).second, "selectedDesk.id");

    // One bad desk fails the whole file, naming the desk and the key.
    ValueObject bad = minimalDeskTree();
    bad.erase("inputName");
    Value file(
        ValueObject{{"mixingDesks", ValueArray{Value(minimalDeskTree()), Value(minimalDeskTree()), bad}}});
    try {
        MixingDeskRoot::fromPropertyList(platform::writePropertyList(file));
        FAIL() << "bad desk accepted";
    } catch (const CodingError& e) {
        EXPECT_EQ(e.path(), "mixingDesks[2].inputName");
    }
    EXPECT_THROW(MixingDeskRoot::decode(Value(ValueObject{}), ""), CodingError);
    EXPECT_THROW(MixingDeskRoot::fromPropertyList("<plist><dict>"), CodingError);
    EXPECT_TRUE(
        MixingDeskRoot::decode(Value(ValueObject{{"mixingDesks", ValueArray{}}}), "").mixingDesks.empty());
}

TEST(MixingDesk, ChannelCountPrecedenceAndOfferedKinds) {
    MixingDesk d = fullDesk();
    EXPECT_EQ(channelCount("Matrix", d), 8);
    EXPECT_EQ(channelCount("Mix", d), 16);
    EXPECT_EQ(channelCount("Group", d), 8);
    EXPECT_EQ(channelCount("mix", d), 0); // exact text only
    EXPECT_EQ(channelCount("Input", d), 0);
    // The matrix name answers first, even with no count behind it.
    d.mtxName = "Mix";
    d.mtxNum.reset();
    EXPECT_EQ(channelCount("Mix", d), 0);

    d = fullDesk();
    EXPECT_EQ(d.offeredSpeakerTypes(), (std::vector<std::string>{"Mix", "Matrix"}));
    EXPECT_EQ(d.offeredSourceTypes(), (std::vector<std::string>{"Mix", "Input", "Cue"}));
    d.mixName.reset();
    d.mtxName.reset();
    d.cueName = "";
    EXPECT_EQ(d.offeredSpeakerTypes(), (std::vector<std::string>{"Mix", "Matrix"}));
    EXPECT_EQ(d.offeredSourceTypes(), (std::vector<std::string>{"Mix", "Input", "Cue"}));
    d.mixEnabled = false;
    d.mtxEnabled.reset();
    d.mixSendEnabled.reset();
    d.cueModeEnabled = false;
    EXPECT_TRUE(d.offeredSpeakerTypes().empty());
    EXPECT_EQ(d.offeredSourceTypes(), (std::vector<std::string>{"Input"}));
}

TEST(DeskRoute, TemplateTableForTheLevelEngine) {
    const MixingDesk d = fullDesk();
    auto route = [&](const char* source, const char* speaker) {
        return routeDeskSend(d, source, 3, speaker, 5, DeskRouteCaller::levelEngine);
    };
    struct Row {
        const char* source;
        const char* speaker;
        DeskRouteRow row;
        std::optional<std::string> address;
        std::optional<DeskRange> range;
    };
    const Row rows[] = {
        {"Mix", "Matrix", DeskRouteRow::mixToMatrix, "/mix/3/mtx/5", DeskRange{-80, 10}},
        {"Mix", "Mix", DeskRouteRow::mixToMix, std::nullopt, std::nullopt},
        {"Input", "Mix", DeskRouteRow::inputToMix, "/ch/3/mix/5", DeskRange{-90, 10}},
        {"Input", "Matrix", DeskRouteRow::inputToMatrix, "/ch/3/mtx/5", DeskRange{-70, 5}},
        {"Cue", "Mix", DeskRouteRow::cueToMix, "/cue/3/mix/5", DeskRange{0, 1}},
        {"Cue", "Matrix", DeskRouteRow::unsupported, std::nullopt, std::nullopt},
        {"Input", "Group", DeskRouteRow::unsupported, std::nullopt, std::nullopt},
        {"input", "Mix", DeskRouteRow::unsupported, std::nullopt, std::nullopt},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.source) + " -> " + r.speaker);
        DeskRoute got = route(r.source, r.speaker);
        EXPECT_EQ(got.row, r.row);
        EXPECT_EQ(got.address, r.address);
        EXPECT_EQ(got.range, r.range);
    }

    MixingDesk gated = d;
    gated.inputToMtx.reset();
    gated.cueModeEnabled = false;
    EXPECT_EQ(routeDeskSend(gated, "Input", 1, "Matrix", 1, DeskRouteCaller::levelEngine).address,
              std::nullopt);
    EXPECT_EQ(routeDeskSend(gated, "Cue", 1, "Mix", 1, DeskRouteCaller::levelEngine).address, std::nullopt);

    // An absent kind name matches nothing, also an empty type.
    MixingDesk noMix = d;
    noMix.mixName.reset();
    EXPECT_EQ(routeDeskSend(noMix, "", 1, "", 1, DeskRouteCaller::levelEngine).row,
              DeskRouteRow::unsupported);

    // A missing template sends to the placeholder address; a bad range sends nothing.
    MixingDesk sparse = d;
    sparse.mixOSCSend.reset();
    EXPECT_EQ(routeDeskSend(sparse, "Input", 1, "Mix", 1, DeskRouteCaller::levelEngine).address,
              std::string(noTemplateAddress));
    for (auto range :
         {DeskRangeTexts{"-90"}, DeskRangeTexts{"-90", "10", "20"}, DeskRangeTexts{"-90", "loud"},
          DeskRangeTexts{"nan", "10"}, DeskRangeTexts{"-90", "inf"}, DeskRangeTexts{" -90", "10"}}) {
        sparse.mixOSCSendRange = range;
        DeskRoute r = routeDeskSend(sparse, "Input", 1, "Mix", 1, DeskRouteCaller::levelEngine);
        EXPECT_FALSE(r.address || r.range);
    }
    sparse.mixOSCSendRange.reset();
    EXPECT_FALSE(routeDeskSend(sparse, "Input", 1, "Mix", 1, DeskRouteCaller::levelEngine).address);
}

TEST(DeskRoute, TcpLoweringAndTheMixersDifferences) {
    MixingDesk d = fullDesk();
    d.UDP = false;
    d.mixOSCSend = "set Level {n} {m}";
    EXPECT_EQ(routeDeskSend(d, "Input", 1, "Mix", 1, DeskRouteCaller::levelEngine).address, "set Level 0 0");
    EXPECT_EQ(routeDeskSend(d, "Input", 1, "Mix", 1, DeskRouteCaller::mixer).address, "set Level 1 1");
    EXPECT_EQ(routeDeskSend(d, "Input", INT64_MIN, "Mix", 0, DeskRouteCaller::levelEngine).address,
              "set Level -9223372036854775808 -1");

    // The mixer has no cue row, gives an empty address for a missing template, and reads a
    // bad range as 0 to 100.
    d = fullDesk();
    EXPECT_EQ(routeDeskSend(d, "Cue", 2, "Mix", 1, DeskRouteCaller::mixer).row, DeskRouteRow::unsupported);
    EXPECT_FALSE(routeDeskSend(d, "Cue", 2, "Mix", 1, DeskRouteCaller::mixer).address);
    d.mixOSCSend.reset();
    d.mixOSCSendRange = DeskRangeTexts{"x", "y"};
    DeskRoute r = routeDeskSend(d, "Input", 2, "Mix", 1, DeskRouteCaller::mixer);
    EXPECT_EQ(r.address, "");
    EXPECT_EQ(r.range, (DeskRange{0, 100}));
    d.inputToMtx = false;
    r = routeDeskSend(d, "Input", 2, "Matrix", 1, DeskRouteCaller::mixer);
    EXPECT_EQ(r.row, DeskRouteRow::inputToMatrix);
    EXPECT_FALSE(r.address);
}

TEST(DeskRoute, TemplateFillingAndRanges) {
    EXPECT_EQ(fillDeskTemplate("/a/{n}/b/{n}/{m}", 7, -2), "/a/7/b/7/-2");
    EXPECT_EQ(fillDeskTemplate("/fixed", 1, 2), "/fixed");
    EXPECT_EQ(fillDeskTemplate("/{n/{m", 1, 2), "/{n/{m");
    // Braces that open no placeholder stay, also right before one and at the very end.
    EXPECT_EQ(fillDeskTemplate("{{n}}{m}{x}{", INT64_MIN, INT64_MAX),
              "{-9223372036854775808}9223372036854775807{x}{");
    EXPECT_EQ(fillDeskTemplate("", 1, 2), "");
    EXPECT_EQ(parseDeskRange(DeskRangeTexts{"-8000", "+1000.5"}), (DeskRange{-8000, 1000.5}));
    EXPECT_EQ(parseDeskRange(DeskRangeTexts{"1e1", ".5"}), (DeskRange{10, 0.5}));
    EXPECT_EQ(parseDeskRange(DeskRangeTexts{"+-1", "2"}), std::nullopt);
    EXPECT_EQ(parseDeskRange(DeskRangeTexts{"", "2"}), std::nullopt);
    EXPECT_EQ(parseDeskRange(DeskRangeTexts{"0x10", "2"}), std::nullopt);

    MixingDesk d = fullDesk();
    d.UDP = false;
    EXPECT_EQ(soundscapePositionAddress(d, 4), "/pos/4"); // never lowered
    d.positionOSC.reset();
    EXPECT_EQ(soundscapePositionAddress(d, 12), "/dbaudio1/positioning/source_position_xy/12");
}

// The plan decided once per pair of kinds gives, for any numbers, exactly the route asked for
// those numbers: the level engine fills it in for every send.
TEST(DeskRoute, PlanFilledInMatchesTheRouteOfEachPair) {
    MixingDesk tcp = fullDesk();
    tcp.UDP = false;
    MixingDesk sparse = fullDesk();
    sparse.mixOSCSend.reset();
    sparse.mtxOSCSendRange = DeskRangeTexts{"loud", "10"};
    const std::pair<std::int64_t, std::int64_t> numbers[] = {
        {3, 5}, {0, 0}, {-1, 12}, {INT64_MIN, INT64_MAX}};
    for (const MixingDesk& desk : {fullDesk(), tcp, sparse})
        for (const auto caller : {DeskRouteCaller::levelEngine, DeskRouteCaller::mixer})
            for (const char* source : {"Mix", "Input", "Cue", "input"})
                for (const char* speaker : {"Mix", "Matrix", "Group"}) {
                    SCOPED_TRACE(std::string(source) + " -> " + speaker + (desk.UDP ? "" : " over TCP"));
                    const DeskSendPlan plan = planDeskSend(desk, source, speaker, caller);
                    for (const auto& [n, m] : numbers) {
                        const DeskRoute route = routeDeskSend(desk, source, n, speaker, m, caller);
                        EXPECT_EQ(plan.row, route.row);
                        EXPECT_EQ(plan.range, route.range);
                        if (route.address)
                            EXPECT_EQ(plan.address(n, m), *route.address);
                    }
                }
}
