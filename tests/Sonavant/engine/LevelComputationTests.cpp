#include "EngineTestSupport.h"
#include "ReferenceLevels.h"

#include "platform/Log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>

using namespace enginetest;

namespace {

// Two sources and five loudspeakers on a canvas whose zero point is (100, 500); one
// audience area of four nodes and one of a single node.
struct GoldenScene : Fixture {
    GoldenScene() {
        state->zeroPoint = Point{100, 500};
        const MixingDesk desk = udpDesk();
        state->speakers = std::vector<Speaker>{
            speakerAt(1, {100, 500}, 1, "Mix", -235, 70), speakerAt(2, {250, 500}, 2, "Mix", -80, 70),
            speakerAt(3, {100, 100}, 3, "Mix", -131.6, 100), speakerAt(4, {640, 500}, 4, "Mix", -90, 70),
            speakerAt(5, {400, 300}, 5, "Mix", 0, 70)};
        state->soundObjects = std::vector{sourceAt(1, {100, 500}, desk), sourceAt(2, {300, 420}, desk)};
        AudienceArea square;
        square.nodesMeters = {{1, 1}, {3, 1}, {3, 3}, {1, 3}};
        AudienceArea single;
        single.nodesMeters = {{-1, 4}};
        state->audienceAreas = std::vector{square, single};
        state->oscOutputOn = false;
    }
    std::vector<double> row(std::size_t source) const {
        std::vector<double> out;
        for (const auto& [id, level] : state->mixerLevels->at(state->soundObjects->at(source)->id))
            out.push_back(level);
        return out;
    }
};

struct Golden {
    PanningMode mode;
    bool audienceAware;
    std::vector<double> a, b;
};

// Computed independently of the engine, from the formulas, for the scene above.
const std::vector<Golden> goldenTables{
    {PanningMode::linear,
     false,
     {10.0, -14.0, -64.0, -90.0, -56.111025509279784},
     {-27.08131845707603, -2.8679622641131886, -59.47184905645284, -53.85699678629193, -15.240998703626616}},
    {PanningMode::sine,
     false,
     {-1.1111111111111143, -2.22486924291087, -12.444836353643566, -90.0, -9.387304004006467},
     {-3.5135740983187276, -1.5413347603309404, -10.555864201318272, -8.689864644279567, -2.323052651884126}},
    {PanningMode::cosine,
     false,
     {-1.1111111111111143, -3.338627374710626, -23.778561596176004, -90.0, -17.663496896901833},
     {-5.916037085526341, -1.9715584095507808, -20.00061729152543, -16.26861817744802, -3.5349941926571375}},
    {PanningMode::power,
     false,
     {-1.1111111111111143, -6.274509777302555, -24.410111255645063, -90.0, -19.59669294250773},
     {-9.269283391551156, -4.1380316450604795, -21.45561744047545, -18.471560449487, -6.533459108935219}},
    {PanningMode::constantPower,
     false,
     {-3.5923054217961408, -6.240892260000777, -20.757522242721294, -90.0, -16.69713220481715},
     {-8.534431567535208, -5.392248068419605, -18.835092078014483, -16.086506412115398, -6.870345399005984}},
    {PanningMode::linear,
     true,
     {-32.59826094338217, -61.17465228389027, -77.04543346979861, -90.0, -56.111025509279784},
     {-53.88358260286642, -56.95248309276142, -74.78927067529953, -90.0, -15.240998703626616}},
    {PanningMode::sine,
     true,
     {-6.468332220326914, -11.581292297339473, -19.168179958855774, -90.0, -9.387304004006467},
     {-8.870795207534528, -10.897757814759558, -17.27920780653048, -90.0, -2.323052651884126}},
    {PanningMode::cosine,
     true,
     {-6.468332220326914, -12.69505042913923, -30.501905201388205, -90.0, -17.663496896901833},
     {-11.27325819474214, -11.327981463979384, -26.72396089673765, -90.0, -3.5349941926571375}},
    {PanningMode::power,
     true,
     {-6.468332220326914, -15.630932831731172, -31.13345486085727, -90.0, -19.59669294250773},
     {-14.626504500766941, -13.494454699489097, -28.178961045687657, -90.0, -6.533459108935219}},
    {PanningMode::constantPower,
     true,
     {-3.47504426987841, -6.512488131084879, -21.461616520522497, -90.0, -15.962078549585598},
     {-8.340715042069334, -5.58738856595555, -19.462730982267544, -90.0, -6.058836370226288}},
};

void expectRow(const std::vector<double>& actual, const std::vector<double>& expected,
               const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-9) << what << " loudspeaker " << i + 1;
}

} // namespace

TEST(ContentViewState, StartsWithTheInitialValuesOfTheMainView) {
    Fixture f;
    ContentView view(f.state);
    EXPECT_EQ(view.targetDeskIP.get(), "127.0.0.1");
    EXPECT_EQ(view.targetPort.get(), "49900");
    EXPECT_TRUE(view.showZeroPoint.get());
    EXPECT_TRUE(view.oscOutputOn.get());
    EXPECT_EQ(view.canvasSize.get(), ViewSize{});
    EXPECT_EQ(view.speakerZeroFactor.get(), 1.0);
    EXPECT_EQ(view.zoomLevel.get(), 100.0);
    EXPECT_TRUE(view.mixingDesks->empty());
    EXPECT_FALSE(view.selectedDesk->has_value());
    EXPECT_TRUE(view.selectedObjects->empty());
    EXPECT_FALSE(view.isRecordingPath.get());
    EXPECT_FALSE(view.disableSoundObjectOSCUpdates.get());
    EXPECT_EQ(view.pendingSoundObjectQueries.get(), 0);
    EXPECT_FALSE(view.disableOSCThrottling->get());
    EXPECT_EQ(ContentView::throttleInterval, 0.03);
    EXPECT_EQ(view.listW, 320.0);
    EXPECT_EQ(ContentView::gridOpacity, 0.3);
    EXPECT_FALSE(view.tcpRefreshTimer);
    EXPECT_TRUE(view.oscClient);

    // A view that has just appeared has no desk yet and sends nothing.
    f.state->soundObjects = std::vector{sourceAt(1, {0, 0}, udpDesk())};
    platform::LogCapture log;
    view.updateRelativeLevels();
    EXPECT_TRUE(log.contains("Error: Missing targetDeskIP, port, or selectedDesk."));
    EXPECT_TRUE(f.state->mixerLevels->empty());
}

TEST(LevelComputation, GuardsRefuseMissingAddressPortDeskAndSources) {
    Fixture f;
    f.state->soundObjects = std::vector{sourceAt(1, {0, 0}, udpDesk())};
    f.state->speakers = std::vector{speakerAt(1, {0, 0}, 1)};
    for (const auto& [ip, port] : std::vector<std::pair<std::string, std::string>>{
             {"", "49900"}, {"127.0.0.1", ""}, {"127.0.0.1", "70000"}, {"127.0.0.1", "60a"}}) {
        f.view.targetDeskIP = ip;
        f.view.targetPort = port;
        platform::LogCapture log;
        f.view.updateRelativeLevels();
        EXPECT_TRUE(log.contains("Error: Missing targetDeskIP, port, or selectedDesk.")) << ip << ":" << port;
        EXPECT_FALSE(f.state->selectedDesk->has_value());
    }

    f.view.targetDeskIP = "127.0.0.1";
    f.view.targetPort = "+9000";
    f.state->soundObjects = std::vector<std::shared_ptr<SoundObject>>{};
    platform::LogCapture log;
    f.view.updateRelativeLevels();
    EXPECT_TRUE(log.contains("Desk UDP property: true"));
    EXPECT_TRUE(log.contains("Error: No sound objects available."));
    EXPECT_EQ(f.state->selectedDesk.get(), f.view.selectedDesk.get()); // copied on every run
    EXPECT_TRUE(f.state->mixerLevels->empty());
    EXPECT_EQ(f.outlet->count(), 0u);
}

TEST(LevelComputation, GoldenTablesForEveryPanLawWithAndWithoutAudienceAreas) {
    for (const Golden& golden : goldenTables) {
        GoldenScene scene;
        scene.state->panningMode = golden.mode;
        scene.state->audienceAwarePanLaw = golden.audienceAware;
        platform::LogCapture log;
        scene.view.updateRelativeLevels();
        const std::string what = std::string(rawValue(golden.mode)) + (golden.audienceAware ? " aware" : "");
        expectRow(scene.row(0), golden.a, what);
        expectRow(scene.row(1), golden.b, what);
        EXPECT_TRUE(log.contains("Starting update for 2 sound objects..."));
        EXPECT_TRUE(log.contains("Update completed for all sound objects."));
    }
}

TEST(LevelComputation, EdgesOfRangeShareAndDesk) {
    // Beyond the range a pair is at the bottom, also when frozen at another level.
    GoldenScene scene;
    scene.state->panningMode = PanningMode::sine;
    const auto a = scene.state->soundObjects->at(0)->id;
    scene.state->mixerLevels = PerSourcePerSpeaker<double>{{a, {{4, -3.0}, {2, -7.0}}}};
    scene.state->freezeStates = PerSourcePerSpeaker<bool>{{a, {{4, true}, {2, true}}}};
    scene.state->muteStates = PerSourcePerSpeaker<bool>{{a, {{1, true}}}};
    scene.view.updateRelativeLevels();
    EXPECT_EQ(scene.row(0)[3], -90.0); // 5.4 m away
    EXPECT_EQ(scene.row(0)[1], -7.0);  // frozen, within range
    EXPECT_EQ(scene.row(0)[0], -90.0); // muted

    // With the window off, a far source still takes the minimum share (but not beyond the range).
    Fixture floor;
    floor.state->panningMode = PanningMode::linear;
    floor.state->minLevel = 20;
    floor.state->soundObjects = std::vector{sourceAt(1, {0, 0}, udpDesk())};
    floor.state->speakers = std::vector{speakerAt(1, {450, 0}, 1), speakerAt(2, {600, 0}, 2)};
    floor.view.updateRelativeLevels();
    const auto& levels = floor.state->mixerLevels->begin()->second;
    EXPECT_NEAR(levels.at(1), -90 + 100 * 20.0 / 100, 1e-12); // share 16 raised to 20
    EXPECT_EQ(levels.at(2), -90.0);

    // Source kinds the desk does not know: levels against -59..0, nothing sent.
    GoldenScene unknown;
    unknown.state->oscOutputOn = true;
    for (const auto& source : unknown.state->soundObjects.get())
        source->type = "Playback";
    unknown.view.updateRelativeLevels();
    for (double level : unknown.row(0)) {
        EXPECT_GE(level, -59.0);
        EXPECT_LE(level, 0.0);
    }
    EXPECT_TRUE(unknown.view.lastMappedLevels().empty());

    // A range list of one entry, or with a word in it, leaves its pairs unsent.
    for (DeskRangeTexts bad : {DeskRangeTexts{"-90"}, DeskRangeTexts{"-90", "loud"}}) {
        GoldenScene broken;
        MixingDesk desk = udpDesk();
        desk.mixOSCSendRange = bad;
        broken.view.selectedDesk = desk;
        broken.view.updateRelativeLevels();
        EXPECT_TRUE(broken.view.lastMappedLevels().empty());
        EXPECT_EQ(broken.row(0).size(), 5u);
    }
}

TEST(LevelComputation, UnusableZoomRangeOrPositionNeverGivesAnUndefinedLevel) {
    for (double zoom : {0.0, -100.0, std::nan("")}) {
        GoldenScene scene;
        scene.state->oscOutputOn = true;
        scene.view.zoomLevel = zoom;
        platform::LogCapture log;
        scene.view.updateRelativeLevels();
        EXPECT_TRUE(log.contains("Error: Zoom level must be a positive number; nothing sent."));
        EXPECT_TRUE(scene.state->mixerLevels->empty());
    }
    for (double range : {0.0, -5.0, std::numeric_limits<double>::infinity()}) {
        GoldenScene scene;
        scene.state->oscOutputOn = true;
        scene.state->range = range;
        platform::LogCapture log;
        scene.view.updateRelativeLevels();
        EXPECT_TRUE(log.contains("Error: Range must be a positive number; nothing sent."));
        EXPECT_TRUE(scene.state->mixerLevels->empty());
    }

    // One source at an undefined place has no distance to any loudspeaker: out of range, its
    // pairs are at the bottom; the other source is whole.
    GoldenScene scene;
    scene.state->oscOutputOn = true;
    scene.view.disableOSCThrottling->set(true);
    scene.state->soundObjects->at(0)->position = Point{std::nan(""), 3};
    platform::LogCapture log;
    scene.view.updateRelativeLevels();
    EXPECT_EQ(scene.row(0), std::vector<double>(5, -90.0));
    EXPECT_EQ(scene.row(1).size(), 5u);
    EXPECT_FALSE(log.contains("Error: Some positions or levels are not finite numbers"));
    ASSERT_TRUE(eventually([&] { return scene.outlet->count() == 10; }));
    for (const auto& sent : scene.outlet->sent()) {
        if (sent.address.rfind("/ch/1/", 0) == 0) {
            EXPECT_EQ(sent.argument.storage(), OSCSendArgument::Storage(std::int64_t{-90})) << sent.address;
        }
    }

    // No share anywhere ("Constant Power" would divide 0 by 0): every pair at the bottom.
    GoldenScene silent;
    silent.state->maxLevel = 0;
    silent.view.updateRelativeLevels();
    for (double level : silent.row(0))
        EXPECT_EQ(level, -90.0);
}

TEST(LevelComputation, RestructuredPassEqualsTheDirectFormExactly) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> coordinate(0, 900);
    std::uniform_int_distribution<int> pick(0, 99);
    const std::vector<std::string> speakerTypes{"Mix", "Mix", "Matrix", "Group"};
    const std::vector<std::string> sourceTypes{"Input", "Input", "Mix", "Playback"};

    for (int round = 0; round < 40; ++round) {
        Fixture f; // output on: only what goes out is recorded as sent (to the recording outlet)
        f.state->panningMode = allPanningModes[round % 5];
        f.state->audienceAwarePanLaw = round % 2 == 1;
        f.state->minMaxRelitive = round % 3 == 0;
        f.state->minLevel = round % 4 == 0 ? 10 : 0;
        f.state->maxLevel = round % 6 == 0 ? 90 : 100;
        f.state->range = 2.0 + round % 5;
        f.state->canvasOrientation = allCanvasOrientations[round % 4];
        f.state->zeroPoint = Point{coordinate(random), coordinate(random)};
        f.view.zoomLevel = 60.0 + round * 3;

        std::vector<Speaker> speakers;
        for (int i = 0; i < 12; ++i) {
            // Now and then an id twice.
            const std::int64_t id = pick(random) < 10 && i > 0 ? speakers[i - 1].id : i + 1;
            speakers.push_back(speakerAt(id, {coordinate(random), coordinate(random)}, 1 + pick(random) % 8,
                                         speakerTypes[pick(random) % 4], pick(random) * 3.7 - 180,
                                         20 + pick(random)));
        }
        f.state->speakers = speakers;
        std::vector<std::shared_ptr<SoundObject>> sources;
        for (int i = 0; i < 6; ++i)
            sources.push_back(sourceAt(i + 1, {coordinate(random), coordinate(random)}, udpDesk(),
                                       sourceTypes[pick(random) % 4]));
        f.state->soundObjects = sources;
        AudienceArea area;
        for (int n = 0; n < 5; ++n)
            area.nodesMeters.push_back({coordinate(random) / 100 - 4, coordinate(random) / 100 - 4});
        f.state->audienceAreas = std::vector{area};
        f.state->muteStates = PerSourcePerSpeaker<bool>{{sources[0]->id, {{1, true}}}};
        f.state->freezeStates = PerSourcePerSpeaker<bool>{{sources[1]->id, {{2, true}}}};
        f.state->mixerLevels = PerSourcePerSpeaker<double>{{sources[1]->id, {{2, -12.5}}}};

        const ReferenceResult expected = referenceLevels(f.view);
        f.view.updateRelativeLevels();
        ASSERT_EQ(f.state->mixerLevels.get(), expected.levels) << "round " << round; // bit for bit

        // What goes out: the same pairs, addresses and levels.
        std::map<std::string, double> decided;
        for (const auto& [key, mapped] : f.view.lastMappedLevels())
            decided[key.text()] = mapped.value;
        ASSERT_EQ(decided.size(), expected.sends.size()) << "round " << round;
        for (const auto& send : expected.sends)
            EXPECT_EQ(decided.at(send.key), send.level) << send.key;
    }
}

TEST(LevelComputation, DirectFormAndEngineSendTheSameMessages) {
    GoldenScene scene;
    scene.state->oscOutputOn = true;
    scene.view.disableOSCThrottling->set(true);
    const auto expected = referenceLevels(scene.view);
    scene.view.updateRelativeLevels();
    ASSERT_TRUE(eventually([&] { return scene.outlet->count() == expected.sends.size(); }));
    std::multiset<std::pair<std::string, std::int64_t>> wanted, got;
    for (const auto& send : expected.sends)
        wanted.insert({send.address, std::llround(send.level)});
    for (const auto& sent : scene.outlet->sent())
        got.insert({sent.address, std::get<std::int64_t>(sent.argument.storage())});
    EXPECT_EQ(got, wanted);
}

// Addresses are filled in from each pair of kinds' route: every pair still goes to the address
// and the throttle key its own source, loudspeaker channel and transport give.
TEST(LevelComputation, EverySendGoesToItsPairsOwnAddressAndKey) {
    std::mt19937 random(7031);
    std::uniform_real_distribution<double> coordinate(0, 600);
    std::uniform_int_distribution<int> pick(0, 99);
    const std::vector<std::string> speakerTypes{"Mix", "Mix", "Matrix", "Group"};
    const std::vector<std::string> sourceTypes{"Input", "Input", "Mix", "Playback"};
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Fixture f;
        MixingDesk desk = udpDesk();
        desk.UDP = round % 2 == 0;
        f.view.selectedDesk = desk;
        f.state->oscOutputOn = true;
        f.view.disableOSCThrottling->set(true);
        std::vector<Speaker> speakers;
        for (int i = 0; i < 8; ++i) {
            const std::int64_t id = pick(random) < 15 && i > 0 ? speakers[i - 1].id : i + 1;
            speakers.push_back(speakerAt(id, {coordinate(random), coordinate(random)}, 1 + pick(random) % 8,
                                         speakerTypes[pick(random) % 4], 0, 70));
        }
        // An id whose last loudspeaker has no route sends through the earlier one's channel.
        speakers.push_back(speakerAt(20, {coordinate(random), coordinate(random)}, 3, "Mix", 0, 70));
        speakers.push_back(speakerAt(20, {coordinate(random), coordinate(random)}, 6, "Group", 0, 70));
        f.state->speakers = speakers;
        std::vector<std::shared_ptr<SoundObject>> sources;
        for (int i = 0; i < 5; ++i)
            sources.push_back(sourceAt(3 * i + 2, {coordinate(random), coordinate(random)}, desk,
                                       sourceTypes[pick(random) % 4]));
        f.state->soundObjects = sources;

        const ReferenceResult expected = referenceLevels(f.view);
        f.view.updateRelativeLevels();
        ASSERT_TRUE(eventually([&] { return f.outlet->count() == expected.sends.size(); }));
        std::multiset<std::string> wanted, got;
        for (const auto& send : expected.sends) {
            wanted.insert(send.address + " " + std::to_string(std::llround(send.level)));
            EXPECT_TRUE(f.view.lastSendTime->lastSendTime(send.key)) << send.key;
        }
        for (const auto& sent : f.outlet->sent())
            got.insert(sent.udp ? sent.address + " " + sent.argument.text()
                                : sent.text.substr(0, sent.text.size() - 1));
        EXPECT_EQ(got, wanted);
    }
}

// The address and key kept per pair follow every part they are made of, pass after pass.
TEST(LevelComputation, KeptAddressesFollowNumbersChannelsKindsOrderAndTheDesk) {
    Fixture f;
    f.state->oscOutputOn = true;
    f.view.disableOSCThrottling->set(true);
    MixingDesk desk = udpDesk();
    f.state->speakers =
        std::vector{speakerAt(1, {100, 100}, 1, "Mix"), speakerAt(2, {150, 100}, 2, "Matrix")};
    auto source = sourceAt(4, {120, 100}, desk);
    f.state->soundObjects = std::vector{source};
    int step = 0;
    // Every pair is sent, so the desk holds the last pass's addresses; on the same desk, the
    // ones no pair has any more come down once.
    std::set<std::string> onDesk;
    auto passAfter = [&](const std::function<void()>& change, bool otherDesk = false) {
        change();
        source->position = Point{120, 100.0 + 7 * ++step}; // every pair's level changes
        const auto expected = referenceLevels(f.view);
        std::set<std::string> current;
        for (const auto& send : expected.sends)
            current.insert(send.address);
        std::multiset<std::string> wanted, got;
        if (!otherDesk)
            for (const auto& address : onDesk)
                if (!current.count(address))
                    wanted.insert(address);
        onDesk = current;
        const std::size_t before = f.outlet->count();
        const auto start = std::chrono::steady_clock::now();
        f.view.updateRelativeLevels();
        ASSERT_TRUE(
            eventually([&] { return f.outlet->count() == before + expected.sends.size() + wanted.size(); }));
        for (const auto& send : expected.sends) {
            wanted.insert(send.address);
            EXPECT_GE(f.view.lastSendTime->lastSendTime(send.key).value_or(start - 1s), start) << send.key;
        }
        const auto sent = f.outlet->sent();
        for (std::size_t i = before; i < sent.size(); ++i)
            got.insert(sent[i].address);
        EXPECT_EQ(got, wanted) << "step " << step;
    };
    passAfter([] {});
    passAfter([&] { source->number = 9; });
    passAfter(
        [&] { f.state->speakers.update([](std::vector<Speaker>& list) { list[0].channelNumber = 5; }); });
    passAfter(
        [&] {
            desk.mixOSCSend = "/in/{n}/bus/{m}";
            f.view.selectedDesk = desk;
        },
        true);
    passAfter(
        [&] {
            desk.UDP = false;
            f.view.selectedDesk = desk;
        },
        true);
    passAfter([&] { source->type = "Mix"; });
    passAfter([&] {
        f.state->speakers.update([](std::vector<Speaker>& list) { std::swap(list[0], list[1]); });
        source->type = "Input";
    });
    passAfter([&] { f.state->speakers.update([](std::vector<Speaker>& list) { list[1].id = 7; }); });
}

TEST(LevelComputation, LaterPassesAfterChangesGiveTheMapAFreshEngineGives) {
    const MixingDesk desk = udpDesk();
    Fixture live;
    live.state->oscOutputOn = false;
    live.state->panningMode = PanningMode::constantPower;
    live.state->speakers = std::vector{speakerAt(1, {100, 500}, 1), speakerAt(2, {250, 500}, 2),
                                       speakerAt(3, {100, 100}, 3), speakerAt(4, {640, 500}, 4)};
    live.state->soundObjects = std::vector{sourceAt(1, {100, 500}, desk), sourceAt(2, {300, 420}, desk),
                                           sourceAt(3, {500, 200}, desk)};
    const auto first = live.state->soundObjects->at(0);
    live.state->muteStates = PerSourcePerSpeaker<bool>{{first->id, {{1, true}}}};
    live.state->freezeStates = PerSourcePerSpeaker<bool>{{first->id, {{2, true}}}};

    // The same show, passed once by a view that has never run.
    auto fresh = [&] {
        Fixture f;
        f.state->oscOutputOn = false;
        f.state->panningMode = live.state->panningMode.get();
        f.state->speakers = live.state->speakers.get();
        f.state->soundObjects = live.state->soundObjects.get();
        f.state->muteStates = live.state->muteStates.get();
        f.state->freezeStates = live.state->freezeStates.get();
        f.state->mixerLevels = live.state->mixerLevels.get(); // what frozen pairs keep
        f.view.updateRelativeLevels();
        return f.state->mixerLevels.get();
    };
    auto pass = [&](const std::string& step) {
        const auto expected = fresh();
        live.view.updateRelativeLevels();
        EXPECT_EQ(live.state->mixerLevels.get(), expected) << step; // bit for bit
    };
    auto sources = [&] { return live.state->soundObjects.get(); };
    auto speakers = [&] { return live.state->speakers.get(); };

    pass("first");
    for (int i = 0; i < 3; ++i) {
        first->position = Point{120.0 + 40 * i, 480};
        pass("dragged " + std::to_string(i));
    }
    auto more = sources();
    more.push_back(sourceAt(4, {700, 700}, desk));
    live.state->soundObjects = more;
    pass("source added");
    pass("source added, again");
    more.erase(more.begin() + 1);
    live.state->soundObjects = more;
    pass("source removed");
    auto list = speakers();
    list.push_back(speakerAt(5, {400, 300}, 5));
    live.state->speakers = list;
    pass("loudspeaker added");
    list.erase(list.begin());
    live.state->speakers = list;
    pass("loudspeaker removed");
    pass("loudspeaker removed, again");
    list.pop_back(); // the highest id: rows of the last map end with a pair too many
    live.state->speakers = list;
    pass("last loudspeaker removed");
    list.push_back(speakerAt(2, {900, 900}, 6)); // an id twice
    live.state->speakers = list;
    pass("id twice");
    more.back()->position = Point{std::nan(""), 3}; // its row empty
    pass("undefined position");
    more.back()->position = Point{300, 300};
    pass("defined again");
    more.push_back(sourceAt(5, {200, 600}, desk));
    live.state->soundObjects = more;
    pass("four sources");
    pass("four sources, again");
    more.back() = more.front(); // a source twice, as many entries as the last map has rows
    live.state->soundObjects = more;
    pass("source twice");
    more.pop_back();
    live.state->soundObjects = more;
    pass("source once");
    // Someone else assigned a map with as many rows, but other pairs.
    PerSourcePerSpeaker<double> other;
    for (const auto& source : more)
        other[source->id] = {{99, 1.0}};
    live.state->mixerLevels = other;
    pass("assigned from outside");
    pass("after that");
}

// Reused rows must give exactly what computing every pair gives, and advance every pair's
// send decision and repeat counter the same, over a long run of ordinary edits. The two views
// keep their own show state (sharing the sources), so each sees only its own assignments.
TEST(LevelComputation, ReusedRowsGiveWhatComputingEveryPairGives) {
    const MixingDesk desk = udpDesk();
    Fixture reusing, reference;
    reference.view.setLevelRowReuse(false);
    std::vector<AppState*> states{reusing.state.get(), reference.state.get()};
    auto both = [&](auto&& change) {
        for (AppState* state : states)
            change(*state);
    };

    std::mt19937 random(99);
    std::uniform_real_distribution<double> coordinate(0, 900);
    std::vector<Speaker> speakers;
    for (int i = 0; i < 10; ++i)
        speakers.push_back(speakerAt(i + 1, {coordinate(random), coordinate(random)}, i % 8 + 1,
                                     i % 3 ? "Mix" : "Matrix", i * 30.0, 60));
    std::vector<std::shared_ptr<SoundObject>> sources;
    for (int i = 0; i < 6; ++i)
        sources.push_back(sourceAt(i + 1, {coordinate(random), coordinate(random)}, desk));
    AudienceArea area;
    area.nodesMeters = {{0, 0}, {4, 0}, {4, 4}};
    both([&](AppState& s) {
        s.oscOutputOn = true; // to the recording outlets: only what goes out is recorded as sent
        s.speakers = speakers;
        s.soundObjects = sources;
        s.audienceAreas = std::vector{area};
    });

    auto mapped = [](const ContentView& view) {
        std::map<std::string, std::pair<double, std::int64_t>> out;
        for (const auto& [key, level] : view.lastMappedLevels())
            out[key.text()] = {level.value, level.count};
        return out;
    };
    for (int step = 0; step < 400; ++step) {
        const auto pick = random() % 20;
        auto& source = *sources[random() % sources.size()];
        const auto speaker = random() % 10;
        const auto other = std::int64_t(random() % 10 + 1);
        const Point somewhere{coordinate(random), coordinate(random)};
        if (pick < 8) {
            source.position = somewhere; // shared by both shows
        } else if (pick == 8) {
            both([&](AppState& s) {
                auto mutes = s.muteStates.get();
                mutes[source.id][other] ^= true;
                s.muteStates = mutes;
            });
        } else if (pick == 9) {
            both([&](AppState& s) {
                auto freezes = s.freezeStates.get();
                freezes[source.id][other] ^= true;
                s.freezeStates = freezes;
            });
        } else if (pick == 10) {
            both([&](AppState& s) {
                auto list = s.speakers.get();
                list[speaker].position = somewhere;
                s.speakers = list;
            });
        } else if (pick == 11) {
            reusing.view.zoomLevel = 80.0 + somewhere.x / 20;
            reference.view.zoomLevel = 80.0 + somewhere.x / 20;
        } else if (pick == 12) {
            both([&](AppState& s) { s.panningMode = allPanningModes[speaker % 5]; });
        } else if (pick == 13) {
            both([&](AppState& s) { s.audienceAwarePanLaw = !s.audienceAwarePanLaw; });
        } else if (pick == 14) {
            both([&](AppState& s) {
                auto areas = s.audienceAreas.get();
                areas[0].nodesMeters[1] = Point{somewhere.x / 100, 0};
                s.audienceAreas = areas;
            });
        } else if (pick == 15) {
            source.type = speaker % 2 ? "Input" : "Mix";
        } else if (pick == 16) {
            source.position = Point{std::nan(""), 1};
        } else if (pick == 17) {
            both([&](AppState& s) {
                s.minLevel = double(speaker * 3);
                s.minMaxRelitive = speaker % 2 == 0;
            });
        } else if (pick == 18) {
            // Someone else publishes levels (the mixer window, a loaded show).
            both([&](AppState& s) {
                s.mixerLevels = PerSourcePerSpeaker<double>{{source.id, {{other, -3.0}}}};
            });
        }
        // Nothing changed otherwise: unchanged levels count towards their periodic repeat.

        reference.view.updateRelativeLevels();
        reusing.view.updateRelativeLevels();
        ASSERT_EQ(reusing.state->mixerLevels.get(), reference.state->mixerLevels.get()) << "step " << step;
        ASSERT_EQ(mapped(reusing.view), mapped(reference.view)) << "step " << step;
    }
}
