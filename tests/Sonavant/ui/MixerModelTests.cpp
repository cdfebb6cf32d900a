#include "Sonavant/ui/MixerModel.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

#include <mutex>
#include <variant>

namespace {

// What reached the outlet, in order.
class SentLog : public DeskOutlet {
public:
    struct Sent {
        bool enabled;
        std::string address, host;
        std::uint16_t port;
        OSCSendArgument argument;
    };
    void sendUDP(bool enabled, const std::string& address, const std::string& host, std::uint16_t port,
                 const OSCSendArgument& argument) override {
        sent.push_back({enabled, address, host, port, argument});
    }
    void sendTCP(const std::string&, const std::string&, const std::string&, std::uint16_t) override {
        ++tcpSends;
    }
    std::vector<Sent> sent;
    int tcpSends = 0;
};

double floatOf(const OSCSendArgument& argument) {
    const auto* value = std::get_if<double>(&argument.storage());
    return value ? *value : std::nan("");
}

struct MixerFixture : ::testing::Test {
    MixingDesk desk = [] {
        MixingDesk d = support::acmeDesk({.oscFloat = false});
        d.mixOSCSend = "/mix/{m}/in/{n}";
        d.mtxName = "Matrix";
        d.mtxColour = "orange";
        d.mtxOSCSend = "/mtx/{m}/in/{n}";
        d.mtxOSCSendRange = DeskRangeTexts{"-120", "0"};
        d.mixOSCSendToMtx = "/mix/{n}/mtx/{m}";
        d.mixOSCSendToMtxRange = DeskRangeTexts{"0", "1000"};
        return d;
    }();
    std::shared_ptr<AppState> show = support::emptyShow();
    std::shared_ptr<SentLog> outlet = std::make_shared<SentLog>();
    Binding<std::string> deskIP{"127.0.0.1"};
    Binding<std::string> port{"10023"};
    int saves = 0;
    std::unique_ptr<MixerModel> mixer;
    std::shared_ptr<SoundObject> input1, input2, mix3;

    void SetUp() override {
        show->selectedDesk = desk;
        show->targetDeskIP = "10.9.9.9"; // the show's copy: the mixer must not send here
        input1 = support::inputAt(1, desk, 0, 0, {});
        input2 = support::inputAt(2, desk, 1, 0, {});
        mix3 = std::make_shared<SoundObject>("Mix", 3, desk, 2, 0, 100.0, Point{});
        show->soundObjects = {input2, mix3, input1};
        Speaker mix1 = support::mixSpeakerAt(1, desk, 0, 0, {});
        Speaker mix2 = support::mixSpeakerAt(2, desk, 0, 1, {});
        Speaker mtx = support::mixSpeakerAt(7, desk, 0, 2, {});
        mtx.type = "Matrix";
        mtx.channelNumber = 4;
        show->speakers = {mix1, mix2, mtx};
        mixer =
            std::make_unique<MixerModel>(MixerInputs{show, deskIP, port, outlet, [this] { ++saves; }, {}});
    }
    const Speaker& speaker(std::int64_t id) { return *mixer->speaker(id); }
};

} // namespace

TEST_F(MixerFixture, AFaderMoveRecordsTheTruncatedLevelAndSendsOneFloatToTheDeskAddress) {
    show->selectedSoundObject = input1;
    mixer->faderChanged(1, -12.7);
    EXPECT_DOUBLE_EQ(show->mixerLevels->at(input1->id).at(1), -12);
    ASSERT_EQ(outlet->sent.size(), 1u);
    const auto& sent = outlet->sent[0];
    // The desk takes integers, yet the mixer sends one float, with the numbers as they are,
    // to the address the operator set (not the show's stored copy).
    EXPECT_EQ(sent.address, "/mix/1/in/1");
    EXPECT_EQ(sent.host, "127.0.0.1");
    EXPECT_EQ(sent.port, 10023);
    EXPECT_TRUE(sent.enabled);
    EXPECT_DOUBLE_EQ(floatOf(sent.argument), -12);
    EXPECT_EQ(outlet->tcpSends, 0);

    // The address follows the binding when the operator changes it.
    deskIP = "127.0.0.2";
    mixer->faderChanged(1, 10);
    EXPECT_EQ(outlet->sent.back().host, "127.0.0.2");

    // Output off: the move is still recorded and handed over disabled (the send entry then
    // reports and sends nothing).
    show->oscOutputOn = false;
    mixer->faderChanged(2, -50.5);
    EXPECT_FALSE(outlet->sent.back().enabled);
    EXPECT_DOUBLE_EQ(show->mixerLevels->at(input1->id).at(2), -50);

    // A port text that is no port: recorded, nothing sent, silently.
    show->oscOutputOn = true;
    const auto before = outlet->sent.size();
    for (const char* bad : {"", "abc", "70000", "49 900", "-1"}) {
        port = bad;
        mixer->faderChanged(1, -3);
    }
    EXPECT_EQ(outlet->sent.size(), before);
    EXPECT_DOUBLE_EQ(show->mixerLevels->at(input1->id).at(1), -3);
    EXPECT_EQ(saves, 0) << "a move saves nothing; the end of the drag does";
    mixer->faderEditingEnded(1);
    EXPECT_EQ(saves, 1);
}

TEST_F(MixerFixture, TheLastLevelOfADragIsSentAgainOnceTheSendsHaveLeft) {
    show->selectedSoundObject = input1;
    for (double v : {-80.2, -51.0, -12.7})
        mixer->faderChanged(1, v);
    mixer->faderEditingEnded(1);
    ASSERT_EQ(outlet->sent.size(), 3u);
    ASSERT_TRUE(
        platform::MainRunLoop::runUntil([&] { return outlet->sent.size() == 4; }, std::chrono::seconds(5)));
    EXPECT_EQ(outlet->sent[3].address, "/mix/1/in/1");
    EXPECT_DOUBLE_EQ(floatOf(outlet->sent[3].argument), -12);

    // Moved again before the resend: only the newer drag's level goes out again.
    mixer->faderChanged(2, -30);
    mixer->faderEditingEnded(2);
    mixer->faderChanged(2, -20);
    mixer->faderEditingEnded(2);
    platform::MainRunLoop::runFor(3 * MixerModel::settleDelay);
    ASSERT_EQ(outlet->sent.size(), 7u);
    EXPECT_DOUBLE_EQ(floatOf(outlet->sent[6].argument), -20);

    // Muted before the resend: silence stays.
    mixer->faderChanged(1, -5);
    mixer->faderEditingEnded(1);
    mixer->sendRangeMinimum(1);
    platform::MainRunLoop::runFor(3 * MixerModel::settleDelay);
    ASSERT_EQ(outlet->sent.size(), 9u);
    EXPECT_DOUBLE_EQ(floatOf(outlet->sent[8].argument), -90);

    // The window gone first: nothing.
    mixer->faderChanged(2, -10);
    mixer->faderEditingEnded(2);
    mixer.reset();
    platform::MainRunLoop::runFor(3 * MixerModel::settleDelay);
    EXPECT_EQ(outlet->sent.size(), 10u);
}

TEST_F(MixerFixture, AddressesFollowTheSourceAndLoudspeakerKinds) {
    platform::LogCapture log;
    show->selectedSoundObject = input2;
    mixer->faderChanged(7, -20); // input to matrix, not enabled on this desk
    EXPECT_TRUE(log.contains("Input to MTX = false"));
    EXPECT_TRUE(log.contains("Skipping Input to MTX as InputToMtx is not enabled. No OSC message sent."));
    EXPECT_TRUE(outlet->sent.empty());

    show->selectedDesk.update([](auto& d) { d->inputToMtx = true; });
    mixer->faderChanged(7, -20);
    ASSERT_EQ(outlet->sent.size(), 1u);
    EXPECT_EQ(outlet->sent.back().address, "/mtx/4/in/2");

    show->selectedSoundObject = mix3;
    mixer->faderChanged(7, 500.9);
    EXPECT_EQ(outlet->sent.back().address, "/mix/3/mtx/4");
    EXPECT_DOUBLE_EQ(floatOf(outlet->sent.back().argument), 500);

    mixer->faderChanged(1, 5);
    EXPECT_TRUE(log.contains("Skipping Mix to Mix case. No OSC message sent."));
    EXPECT_EQ(outlet->sent.size(), 2u);
    EXPECT_DOUBLE_EQ(show->mixerLevels->at(mix3->id).at(1), 5) << "recorded even when nothing is sent";

    auto cue = std::make_shared<SoundObject>("Cue", 9, desk, 0, 0, 100.0, Point{});
    show->selectedSoundObject = cue;
    mixer->faderChanged(1, 5);
    EXPECT_TRUE(log.contains("Skipping unsupported sound type: Cue"));
    EXPECT_EQ(outlet->sent.size(), 2u);

    // Without a desk: nothing, silently.
    show->selectedDesk = std::nullopt;
    show->selectedSoundObject = input1;
    const auto lines = log.lines().size();
    mixer->faderChanged(1, 5);
    EXPECT_EQ(outlet->sent.size(), 2u);
    EXPECT_EQ(log.lines().size(), lines);
    EXPECT_EQ(mixer->faderRange(speaker(1)), (DeskRange{0, 100}));
}

TEST_F(MixerFixture, EachRowUsesTheRangeOfItsOwnSend) {
    show->selectedSoundObject = input1;
    EXPECT_EQ(mixer->faderRange(speaker(1)), (DeskRange{-90, 10}));
    // Input to matrix sends nothing on this desk: the input-to-mix range.
    EXPECT_EQ(mixer->faderRange(speaker(7)), (DeskRange{-90, 10}));
    show->selectedDesk.update([](auto& d) { d->inputToMtx = true; });
    EXPECT_EQ(mixer->faderRange(speaker(7)), (DeskRange{-120, 0}));
    // Muting the matrix pair sends that send's silence value, as the level engine would.
    mixer->sendRangeMinimum(7);
    ASSERT_EQ(outlet->sent.size(), 1u);
    EXPECT_DOUBLE_EQ(floatOf(outlet->sent[0].argument), -120);
    // A fader cannot record a level outside its row's range.
    mixer->faderChanged(1, -500);
    EXPECT_DOUBLE_EQ(show->mixerLevels->at(input1->id).at(1), -90);

    // Bounds listed high to low: "M" sends the first, the desk's silence value; a range
    // that does not read sends 0 as silence.
    show->selectedDesk.update([](auto& d) { d->mixOSCSendRange = DeskRangeTexts{"10", "-90"}; });
    mixer->sendRangeMinimum(2);
    EXPECT_DOUBLE_EQ(floatOf(outlet->sent.back().argument), 10);
    EXPECT_DOUBLE_EQ(mixer->faderValue(speaker(2)), 10);
    show->selectedDesk.update([](auto& d) { d->mixOSCSendRange = DeskRangeTexts{"-inf", "10"}; });
    mixer->sendRangeMinimum(1);
    EXPECT_DOUBLE_EQ(floatOf(outlet->sent.back().argument), 0);
}

TEST_F(MixerFixture, MuteAndFreezeExcludeEachOtherAndMuteSendsSilenceOnce) {
    show->selectedSoundObject = input1;
    show->mixerLevels = {{input1->id, {{1, -30.0}, {2, -40.0}}}};
    mixer->toggleFreeze(1);
    EXPECT_TRUE(mixer->isFrozen(1));
    EXPECT_EQ(saves, 1);

    mixer->sendRangeMinimum(1); // mute: clears the freeze, sends the silence value once
    EXPECT_TRUE(mixer->isMuted(1));
    EXPECT_FALSE(mixer->isFrozen(1));
    ASSERT_EQ(outlet->sent.size(), 1u);
    EXPECT_EQ(outlet->sent[0].address, "/mix/1/in/1");
    EXPECT_DOUBLE_EQ(floatOf(outlet->sent[0].argument), -90);
    EXPECT_DOUBLE_EQ(mixer->faderValue(speaker(1)), -90) << "a muted fader shows silence";

    mixer->sendRangeMinimum(1); // unmute: nothing sent
    EXPECT_FALSE(mixer->isMuted(1));
    EXPECT_EQ(outlet->sent.size(), 1u);
    EXPECT_DOUBLE_EQ(mixer->faderValue(speaker(1)), -30);

    mixer->toggleMute(2);
    mixer->toggleFreeze(2); // freezing clears the mute
    EXPECT_FALSE(mixer->isMuted(2));
    EXPECT_TRUE(mixer->isFrozen(2));
    // Flags belong to the pair: another source's loudspeaker 2 is untouched.
    show->selectedSoundObject = input2;
    EXPECT_FALSE(mixer->isFrozen(2));

    // Output off: muting still records and hands over a disabled send.
    show->oscOutputOn = false;
    mixer->sendRangeMinimum(1);
    EXPECT_TRUE(mixer->isMuted(1));
    EXPECT_FALSE(outlet->sent.back().enabled);
}

TEST_F(MixerFixture, AFrozenFaderShowsTheValueSetForThatSourceOnly) {
    show->selectedSoundObject = input1;
    mixer->toggleFreeze(2);
    mixer->faderChanged(2, -12.7);
    // The level engine's next pass republishes what it sends for the pair.
    show->mixerLevels = {{input1->id, {{2, -70.0}}}, {input2->id, {{2, -55.0}}}};
    EXPECT_DOUBLE_EQ(mixer->faderValue(speaker(2)), -12);

    // Source 2, loudspeaker 2, frozen but never moved here: its own recorded level, not the
    // value set for source 1.
    show->selectedSoundObject = input2;
    mixer->toggleFreeze(2);
    EXPECT_DOUBLE_EQ(mixer->faderValue(speaker(2)), -55);
    // Unfrozen, a fader follows the published level; with none, it shows silence.
    show->selectedSoundObject = input1;
    mixer->toggleFreeze(2);
    EXPECT_DOUBLE_EQ(mixer->faderValue(speaker(2)), -70);
    EXPECT_DOUBLE_EQ(mixer->faderValue(speaker(1)), -90);
}

TEST_F(MixerFixture, SteppingGoesByNumberAndStopsAtTheEnds) {
    mixer->selectNext();
    EXPECT_EQ(show->selectedSoundObject.get(), nullptr) << "nothing selected: nothing to step from";

    show->selectedSoundObject = input1;
    mixer->selectPrevious();
    EXPECT_EQ(show->selectedSoundObject.get(), input1) << "no wrap-around";
    mixer->selectNext();
    EXPECT_EQ(show->selectedSoundObject.get(), input2);
    mixer->selectNext();
    EXPECT_EQ(show->selectedSoundObject.get(), mix3);
    mixer->selectNext();
    EXPECT_EQ(show->selectedSoundObject.get(), mix3);
    mixer->selectPrevious();
    EXPECT_EQ(show->selectedSoundObject.get(), input2);

    // A selection no longer in the list stays.
    auto stray = support::inputAt(5, desk, 0, 0, {});
    show->selectedSoundObject = stray;
    mixer->selectNext();
    EXPECT_EQ(show->selectedSoundObject.get(), stray);
}

TEST_F(MixerFixture, AppearingSelectsTheLowestNumberAndAsksToCloseInSoundScapeMode) {
    platform::LogCapture log;
    EXPECT_FALSE(mixer->onAppear());
    EXPECT_EQ(show->selectedSoundObject.get(), input1);
    EXPECT_TRUE(log.contains("MixerView onAppear: selected desk = Acme 48"));
    EXPECT_TRUE(log.contains("OSC Range: -90.0 to 10.0"));

    show->isSoundScapeMode = true;
    EXPECT_TRUE(mixer->onAppear());

    show->soundObjects = std::vector<std::shared_ptr<SoundObject>>{};
    show->selectedSoundObject = nullptr;
    show->isSoundScapeMode = false;
    EXPECT_FALSE(mixer->onAppear());
    EXPECT_EQ(show->selectedSoundObject.get(), nullptr);
}

TEST_F(MixerFixture, RenamingAndColours) {
    show->selectedSoundObject = input1;
    int announced = 0;
    auto token = show->selectedSoundObject.observe([&](const auto&) { ++announced; });
    mixer->renameSource("Vocals");
    EXPECT_EQ(input1->name.get(), "Vocals");
    EXPECT_EQ(announced, 1) << "observers of the selection hear of the new name";

    mixer->renameSpeaker(2, "Stage left");
    EXPECT_EQ(speaker(2).displayName, "Stage left");
    mixer->renameSpeaker(99, "nobody"); // no such loudspeaker: nothing
    EXPECT_EQ(show->speakers->size(), 3u);

    EXPECT_EQ(mixer->kindColour(), NamedColor::blue); // the desk's input colour
    show->selectedSoundObject = mix3;
    EXPECT_EQ(mixer->kindColour(), NamedColor::green);
    EXPECT_EQ(mixer->speakerAccentColour(speaker(1)), NamedColor::green);
    EXPECT_EQ(mixer->speakerAccentColour(speaker(7)), NamedColor::orange);
    show->selectedDesk.update([](auto& d) { d->mtxColour.reset(); });
    EXPECT_EQ(mixer->speakerAccentColour(speaker(7)), NamedColor::white);
    show->selectedDesk = std::nullopt;
    EXPECT_EQ(mixer->kindColour(), NamedColor::white);
    EXPECT_EQ(mixer->speakerAccentColour(speaker(1)), NamedColor::gray);
}
