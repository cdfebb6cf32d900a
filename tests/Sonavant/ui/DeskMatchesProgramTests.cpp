// After the operator's edits the desk holds what the program shows, checked on a fake desk
// on loopback for each kind of desk: a loudspeaker's channel or type changed in its sheet
// (and undone), an input's number or type changed in its sheet, addresses shared and left,
// deleted sources and loudspeakers, output switched off and on, Open, and the mixer's
// faders and mutes.

#include "CanvasTestSupport.h"
#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/model/MixingDeskRoot.h"
#include "Sonavant/ui/InputSheetModel.h"
#include "Sonavant/ui/MixerModel.h"
#include "Sonavant/ui/SpeakerSheetModel.h"
#include "platform/RunLoop.h"
#include "tools/FakeDesk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace enginetest;

namespace {

enum class DeskKind { oscInteger, oscFloat, tcpText };

const char* kindName(DeskKind kind) {
    switch (kind) {
    case DeskKind::oscInteger:
        return "OSC integer";
    case DeskKind::oscFloat:
        return "OSC float";
    case DeskKind::tcpText:
        return "TCP text";
    }
    return "";
}

// Input 1 and input 2 on mix 1, all at one spot, linear law: every level is the top, 10.
// Matrices exist, but inputs do not send to them.
struct OnFakeDesk {
    DeskKind kind;
    FakeDesk desk{true};
    std::shared_ptr<AppState> state = firstLaunchState();
    ContentView view;
    std::shared_ptr<SoundObject> input1, input2;
    std::size_t seen = 0;
    support::TempFolder folder;
    platform::UserDefaults defaults{folder.path()};

    explicit OnFakeDesk(DeskKind deskKind)
        : kind(deskKind), view(state, Binding<std::string>("127.0.0.1"),
                               Binding<std::string>(std::to_string(
                                   deskKind == DeskKind::tcpText ? desk.tcpPort() : desk.udpPort()))) {
        AppState::clearHistory();
        disconnectTCP();
        view.userDefaults = &defaults;
        MixingDesk definition = udpDesk();
        definition.inputToMtx = false;
        definition.OSCFloat = kind == DeskKind::oscFloat;
        definition.UDP = kind != DeskKind::tcpText;
        view.selectedDesk = definition;
        state->panningMode = PanningMode::linear;
        input1 = sourceAt(1, {0, 0}, definition);
        input2 = sourceAt(2, {0, 0}, definition);
        state->soundObjects = std::vector{input1, input2};
        state->speakers = std::vector{speakerAt(1, {0, 0}, 1)};
    }
    ~OnFakeDesk() {
        disconnectTCP();
        AppState::clearHistory();
    }

    // Each arrival as "address value", the value in its shortest text.
    std::vector<std::string> arrivals() const {
        std::vector<std::string> all;
        if (kind == DeskKind::tcpText) {
            for (const auto& line : desk.lines())
                all.push_back(line.text);
            return all;
        }
        for (const auto& message : desk.messages()) {
            std::string text = message.addressPattern().description();
            char digits[32];
            const auto& values = message.values();
            if (values.size() == 1 && values[0].is<float>()) {
                auto end = std::to_chars(digits, digits + sizeof digits, *values[0].as<float>()).ptr;
                text += " " + std::string(digits, end);
            } else if (values.size() == 1 && values[0].is<std::int32_t>()) {
                text += " " + std::to_string(*values[0].as<std::int32_t>());
            } else {
                text += " ?";
            }
            all.push_back(text);
        }
        return all;
    }
    std::size_t count() const { return kind == DeskKind::tcpText ? desk.lineCount() : desk.datagramCount(); }

    // Every staggered send has left, and a send the throttle held back with it.
    void settled() {
        EXPECT_TRUE(eventually([&] { return view.staggeredSendsOutstanding() == 0; }));
        std::this_thread::sleep_for(std::chrono::duration<double>(ContentView::throttleInterval));
    }
    // What arrived since the last call, once `expected` many have and nothing more follows,
    // sorted (loudspeakers' sends leave by their stagger).
    std::vector<std::string> next(std::size_t expected) {
        eventually([&] { return count() >= seen + expected; });
        settled();
        auto all = arrivals();
        std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen, all.size())),
                                       all.end());
        seen = all.size();
        std::sort(fresh.begin(), fresh.end());
        return fresh;
    }
    // The last value each address holds.
    std::string lastAt(const std::string& address) const {
        std::string last;
        for (const auto& arrival : arrivals())
            if (arrival.rfind(address + " ", 0) == 0)
                last = arrival.substr(address.size() + 1);
        return last;
    }
};

using Lines = std::vector<std::string>;

} // namespace

TEST(DeskMatchesProgram, ASheetsChannelOrTypeChangeMovesTheLevelAndBringsTheOldAddressDown) {
    for (DeskKind kind : {DeskKind::oscInteger, DeskKind::oscFloat, DeskKind::tcpText}) {
        SCOPED_TRACE(kindName(kind));
        OnFakeDesk f(kind);
        const bool tcp = kind == DeskKind::tcpText;
        // Desks over TCP count from 0.
        auto address = [&](int input, int mix) {
            return "/ch/" + std::to_string(tcp ? input - 1 : input) + "/mix/" +
                   std::to_string(tcp ? mix - 1 : mix) + "/level";
        };
        auto at = [&](int input, int mix, const std::string& value) {
            return address(input, mix) + " " + value;
        };
        const std::string top = "10", silence = "-90";

        f.view.updateRelativeLevels();
        EXPECT_EQ(f.next(2), (Lines{at(1, 1, top), at(2, 1, top)}));
        // Mix 2, out of range of both inputs.
        f.state->speakers.update([](auto& list) {
            Speaker far = speakerAt(2, {5000, 0}, 2);
            far.positionMeters = {50, 0};
            list.push_back(far);
        });
        f.view.updateRelativeLevels();
        EXPECT_EQ(f.next(2), (Lines{at(1, 2, silence), at(2, 2, silence)}));

        // A channel another loudspeaker of the type uses: the sheet complains and nothing is
        // sent; the stepper held down passes 3 without sending and is released at 4.
        f.state->saveStateForUndo();
        SpeakerSheetModel sheet(f.view, 1);
        sheet.setChannel(2);
        EXPECT_FALSE(sheet.canClose());
        sheet.stepChannel(+1, true);
        EXPECT_TRUE(sheet.canClose());
        sheet.stepChannel(+1, false);
        EXPECT_EQ(f.next(4), (Lines{at(1, 1, silence), at(1, 4, top), at(2, 1, silence), at(2, 4, top)}));

        // Undo sends the restored pair at once and brings the other channel down.
        f.state->undo();
        EXPECT_EQ(f.next(4), (Lines{at(1, 1, top), at(1, 4, silence), at(2, 1, top), at(2, 4, silence)}));

        // A type the desk routes no input to: the mix comes down and nothing goes to the
        // matrix; back on the mix, the level goes out as new.
        sheet.setType("Matrix");
        EXPECT_TRUE(sheet.canClose());
        EXPECT_EQ(f.next(2), (Lines{at(1, 1, silence), at(2, 1, silence)}));
        sheet.setType("Mix");
        EXPECT_EQ(f.next(2), (Lines{at(1, 1, top), at(2, 1, top)}));

        // A deleted source and a deleted loudspeaker take their levels with them.
        f.view.deleteSoundObject(f.view.soundObjectWithID(f.input2->id));
        EXPECT_EQ(f.next(2), (Lines{at(2, 1, silence), at(2, 2, silence)}));
        sheet.deleteSpeaker();
        EXPECT_EQ(f.next(1), (Lines{at(1, 1, silence)}));

        // Loudspeaker 40 leaves mix 5 and at once loudspeaker 2 takes it: the bring-down waits
        // out the stagger of 40, and must not land on 2's level, which went first.
        f.state->speakers = std::vector{speakerAt(2, {0, 0}, 4), speakerAt(40, {0, 0}, 5)};
        f.view.updateRelativeLevels();
        EXPECT_EQ(f.next(3), (Lines{at(1, 2, silence), at(1, 4, top), at(1, 5, top)}));
        SpeakerSheetModel(f.view, 40).setChannel(6);
        SpeakerSheetModel(f.view, 2).setChannel(5);
        EXPECT_EQ(f.next(3), (Lines{at(1, 4, silence), at(1, 5, top), at(1, 6, top)}));
        EXPECT_NEAR(f.state->mixerLevels->at(f.input1->id).at(2), 10, 1e-9);
        EXPECT_EQ(f.lastAt(address(1, 5)), top);
    }
}

TEST(DeskMatchesProgram, OnlyAnAddressNoPairUsesOnTheSameDeskComesDown) {
    OnFakeDesk f(DeskKind::oscInteger);
    f.state->soundObjects = std::vector{f.input1};
    // Two loudspeakers on mix 1, as an imported show may hold.
    f.state->speakers = std::vector{speakerAt(1, {0, 0}, 1), speakerAt(2, {0, 0}, 1)};
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.next(2), (Lines{"/ch/1/mix/1/level 10", "/ch/1/mix/1/level 10"}));
    // Loudspeaker 2 sent to mix 1 last: leaving it, loudspeaker 1's level goes there again.
    SpeakerSheetModel(f.view, 2).setChannel(4);
    EXPECT_EQ(f.next(2), (Lines{"/ch/1/mix/1/level 10", "/ch/1/mix/4/level 10"}));
    EXPECT_EQ(f.lastAt("/ch/1/mix/1/level"), "10");

    // Clear empties the show, not the desk.
    f.view.clearCanvas();
    f.state->soundObjects = std::vector{sourceAt(3, {0, 0}, udpDesk())};
    f.state->speakers = std::vector{speakerAt(1, {0, 0}, 2)};
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.next(1), (Lines{"/ch/3/mix/2/level 10"}));

    // Another desk: what the last one was sent is none of its business.
    MixingDesk other = udpDesk();
    other.mixOSCSend = "/in/{n}/aux/{m}";
    f.view.selectedDesk = other;
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.next(1), (Lines{"/in/3/aux/2 10"}));
}

TEST(DeskMatchesProgram, MixerMovesAndMutesStayInStepWithTheLevelEngine) {
    for (DeskKind kind : {DeskKind::oscInteger, DeskKind::tcpText}) {
        SCOPED_TRACE(kindName(kind));
        OnFakeDesk f(kind);
        const bool tcp = kind == DeskKind::tcpText;
        const std::string address = tcp ? "/ch/0/mix/0/level" : "/ch/1/mix/1/level";
        f.state->soundObjects = std::vector{f.input1};
        f.view.updateRelativeLevels();
        EXPECT_EQ(f.next(1), (Lines{address + " 10"}));

        MixerModel mixer(MixerModel::inputsOf(f.view));
        f.state->selectedSoundObject = f.input1;
        // The mixer sends a float over UDP, and a whole-number line to a TCP desk.
        mixer.faderChanged(1, -59.3);
        EXPECT_EQ(f.next(1), (Lines{address + " -59"}));
        // The next pass puts the computed level back on the desk, as the mixer shows it.
        f.view.updateRelativeLevels();
        EXPECT_EQ(f.next(1), (Lines{address + " 10"}));
        EXPECT_DOUBLE_EQ(mixer.faderValue(*mixer.speaker(1)), 10);

        // A pass after the release sent the pair: the mixer's late resend stays away.
        mixer.faderChanged(1, -40);
        mixer.faderEditingEnded(1);
        f.view.updateRelativeLevels();
        platform::MainRunLoop::runFor(3 * MixerModel::settleDelay);
        EXPECT_EQ(f.next(2), (Lines{address + " -40", address + " 10"}));
        EXPECT_EQ(f.lastAt(address), "10");

        // Mute sends the bottom, which the engine then computes too; unmute sends the level.
        mixer.sendRangeMinimum(1);
        EXPECT_EQ(f.next(1), (Lines{address + " -90"}));
        f.view.updateRelativeLevels();
        mixer.sendRangeMinimum(1);
        EXPECT_EQ(f.next(1), (Lines{address + " 10"}));
        EXPECT_EQ(f.lastAt(address), "10");
    }
}

TEST(DeskMatchesProgram, AZoomChangeSendsTheLevelsItChanges) {
    canvastest::Canvas c;
    c.state->panningMode = PanningMode::linear;
    c.addSpeaker(1, {100, 500});
    c.addSource(1, {200, 500}); // 1 m apart
    c.view.updateRelativeLevels();
    const auto& id = c.state->soundObjects->at(0)->id;
    // The full-level radius is 30 canvas points: 0.3 m at zoom 100, 0.4 m at 75.
    EXPECT_NEAR(c.state->mixerLevels->at(id).at(1), -4.0, 1e-9);
    c.levelPasses = 0;
    c.view.zoomLevel = 75;
    c.view.zoomLevelChanged(75);
    EXPECT_EQ(c.levelPasses, 1);
    EXPECT_NEAR(c.state->mixerLevels->at(id).at(1), -2.0, 1e-9);
    ASSERT_TRUE(eventually([&] {
        const auto sent = c.outlet->sent();
        return !sent.empty() && sent.back().address == "/ch/1/mix/1/level" &&
               sent.back().argument.storage() == OSCSendArgument::Storage(std::int64_t{-2});
    }));
}

namespace {

MixingDesk shippedDesk(const std::string& name) {
    const auto file = mixingDesksResourcePath();
    if (file)
        for (const auto& desk : MixingDeskRoot::readFile(*file).mixingDesks)
            if (desk.name == name)
                return desk;
    throw std::runtime_error("no shipped desk " + name);
}

} // namespace

TEST(DeskMatchesProgram, AnAddressAPairLeavesKeepsTheLevelOfAPairStillUsingIt) {
    OnFakeDesk f(DeskKind::oscInteger);
    // Input 2 on the y axis, loudspeakers 2, 3 and 4 on mixes 2, 1 and 4; the sheet steps
    // loudspeaker 3 up through 2 and 4, which the others use, while tracking moves the input.
    f.state->soundObjects = std::vector{f.input2};
    f.state->speakers =
        std::vector{speakerAt(2, {0, -80}, 2), speakerAt(3, {0, 130}, 1), speakerAt(4, {0, -180}, 4)};
    auto at = [](int mix, const std::string& value) {
        return "/ch/2/mix/" + std::to_string(mix) + "/level " + value;
    };
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.next(3), (Lines{at(1, "-10"), at(2, "0"), at(4, "-20")}));

    SpeakerSheetModel sheet(f.view, 3);
    sheet.stepChannel(+1, false); // onto mix 2: in use, so the sheet sends nothing
    EXPECT_FALSE(sheet.canClose());
    f.view.handleTrackPosition(2, 0, -0.5); // both send to mix 2, loudspeaker 3 last
    EXPECT_EQ(f.next(4), (Lines{at(1, "-90"), at(2, "-10"), at(2, "0"), at(4, "-30")}));

    // Loudspeaker 3 leaves mix 2: loudspeaker 2's level goes there again.
    sheet.stepChannel(+1, false);
    EXPECT_EQ(f.next(2), (Lines{at(2, "-10"), at(3, "0")}));

    sheet.stepChannel(+1, false);           // onto mix 4
    f.view.handleTrackPosition(2, 0, -0.5); // the same place: only the moved pair is new
    EXPECT_EQ(f.next(2), (Lines{at(3, "-90"), at(4, "0")}));
    sheet.stepChannel(+1, false);
    EXPECT_EQ(f.next(2), (Lines{at(4, "-30"), at(5, "0")}));

    // Every address holds the level of a pair that uses it, or the bottom when none does.
    const auto& levels = f.state->mixerLevels->at(f.input2->id);
    EXPECT_NEAR(levels.at(2), -10, 1e-9);
    EXPECT_NEAR(levels.at(3), 0, 1e-9);
    EXPECT_NEAR(levels.at(4), -30, 1e-9);
    const std::vector<std::string> expected{"-90", "-10", "-90", "-30", "0"};
    for (int mix = 1; mix <= 5; ++mix)
        EXPECT_EQ(f.lastAt("/ch/2/mix/" + std::to_string(mix) + "/level"), expected[mix - 1])
            << "mix " << mix;
}

TEST(DeskMatchesProgram, DeletingOneOfTwoInputsWithOneNumberLeavesTheOthersLevel) {
    OnFakeDesk f(DeskKind::oscInteger);
    f.input2->position = Point{0, 80};
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.next(2), (Lines{"/ch/1/mix/1/level 10", "/ch/2/mix/1/level 0"}));

    // The sheet keeps a number in use; both inputs then send to the one address.
    InputSheetModel sheet(f.view, f.input2->id);
    sheet.setNumber(1);
    EXPECT_EQ(sheet.numberValidationMessage(), "Number already in use for type Input!");
    f.view.updateRelativeLevels();
    EXPECT_EQ(f.next(2), (Lines{"/ch/1/mix/1/level 0", "/ch/2/mix/1/level -90"}));

    f.view.deleteSoundObject(f.view.soundObjectWithID(f.input2->id));
    EXPECT_EQ(f.next(1), (Lines{"/ch/1/mix/1/level 10"}));
    EXPECT_NEAR(f.state->mixerLevels->at(f.input1->id).at(1), 10, 1e-9);
}

TEST(DeskMatchesProgram, AnInputsNumberOrTypeChangeInItsSheetReachesTheDeskAtOnce) {
    {
        SCOPED_TRACE("D&B DS100 Matrix");
        OnFakeDesk f(DeskKind::oscFloat);
        const MixingDesk ds100 = shippedDesk("D&B DS100 Matrix");
        f.view.selectedDesk = ds100;
        auto input3 = sourceAt(3, {0, 0}, ds100);
        auto input4 = sourceAt(4, {0, 80}, ds100);
        f.state->soundObjects = std::vector{input3, input4};
        f.state->speakers =
            std::vector{speakerAt(1, {0, 0}, 1, "Matrix"), speakerAt(2, {0, 80}, 2, "Matrix")};
        auto gain = [](int input, int matrix, const std::string& value) {
            return "/dbaudio1/matrixnode/gain/" + std::to_string(input) + "/" + std::to_string(matrix) + " " +
                   value;
        };
        f.view.updateRelativeLevels();
        EXPECT_EQ(f.next(4), (Lines{gain(3, 1, "10"), gain(3, 2, "1"), gain(4, 1, "1"), gain(4, 2, "10")}));

        InputSheetModel sheet(f.view, input3->id);
        sheet.setNumber(5);
        EXPECT_EQ(f.next(4),
                  (Lines{gain(3, 1, "-80"), gain(3, 2, "-80"), gain(5, 1, "10"), gain(5, 2, "1")}));
        // Out of range: no address, so only the old ones come down.
        sheet.setNumber(65);
        EXPECT_EQ(sheet.numberValidationMessage(), "Number out of range (1-64).");
        EXPECT_EQ(f.next(2), (Lines{gain(5, 1, "-80"), gain(5, 2, "-80")}));
        // In use: both inputs send to the shared addresses; leaving them, the other's return.
        sheet.setNumber(4);
        EXPECT_EQ(f.next(2), (Lines{gain(4, 1, "10"), gain(4, 2, "1")}));
        sheet.setNumber(5);
        EXPECT_EQ(f.next(4), (Lines{gain(4, 1, "1"), gain(4, 2, "10"), gain(5, 1, "10"), gain(5, 2, "1")}));
        // A held stepper sends only where it stops.
        sheet.stepNumber(+1, true);
        sheet.stepNumber(+1, false);
        EXPECT_EQ(f.next(4),
                  (Lines{gain(5, 1, "-80"), gain(5, 2, "-80"), gain(7, 1, "10"), gain(7, 2, "1")}));
        // The last of the desk's inputs has its addresses.
        sheet.setNumber(64);
        EXPECT_EQ(f.next(4),
                  (Lines{gain(64, 1, "10"), gain(64, 2, "1"), gain(7, 1, "-80"), gain(7, 2, "-80")}));
    }
    {
        SCOPED_TRACE("QLab 5");
        OnFakeDesk f(DeskKind::oscFloat);
        const MixingDesk qlab = shippedDesk("QLab 5");
        f.view.selectedDesk = qlab;
        auto input1 = sourceAt(1, {0, 0}, qlab);
        f.state->soundObjects = std::vector{input1};
        f.state->speakers =
            std::vector{speakerAt(1, {0, 0}, 1, "Speaker"), speakerAt(2, {0, 80}, 2, "Speaker")};
        f.view.updateRelativeLevels();
        EXPECT_EQ(f.next(2), (Lines{"/cue/selected/level/1/1 10", "/cue/selected/level/1/2 1"}));

        InputSheetModel sheet(f.view, input1->id);
        sheet.appear();
        sheet.setType("Cue");
        EXPECT_EQ(f.next(4), (Lines{"/cue/selected/level/0/1 10", "/cue/selected/level/0/2 1",
                                    "/cue/selected/level/1/1 -80", "/cue/selected/level/1/2 -80"}));
        // The cue's address carries no number: one beyond the desk's inputs keeps it, and sets
        // it again after a spell as an input, which has no address then.
        sheet.setNumber(65);
        EXPECT_EQ(sheet.numberValidationMessage(), "Number out of range (1-64).");
        EXPECT_EQ(f.next(0), Lines{});
        sheet.setType("Input");
        EXPECT_EQ(f.next(2), (Lines{"/cue/selected/level/0/1 -80", "/cue/selected/level/0/2 -80"}));
        sheet.setType("Cue");
        EXPECT_EQ(f.next(2), (Lines{"/cue/selected/level/0/1 10", "/cue/selected/level/0/2 1"}));
    }
}

TEST(DeskMatchesProgram, BringDownsReachOnlyAddressesNoPairUsesAndOnlyOnce) {
    // Two loudspeakers on one mix: a deleted source's address comes down with one datagram,
    // also when it was the last source.
    {
        OnFakeDesk f(DeskKind::oscInteger);
        f.state->speakers = std::vector{speakerAt(1, {0, 0}, 1), speakerAt(2, {0, 0}, 1)};
        f.view.updateRelativeLevels();
        EXPECT_EQ(f.next(4), (Lines{"/ch/1/mix/1/level 10", "/ch/1/mix/1/level 10", "/ch/2/mix/1/level 10",
                                    "/ch/2/mix/1/level 10"}));
        f.view.deleteSoundObject(f.view.soundObjectWithID(f.input2->id));
        EXPECT_EQ(f.next(1), (Lines{"/ch/2/mix/1/level -90"}));
        f.view.deleteSoundObject(f.view.soundObjectWithID(f.input1->id));
        EXPECT_EQ(f.next(1), (Lines{"/ch/1/mix/1/level -90"}));
    }
    // A channel changed while output is off comes down once output is on again.
    {
        OnFakeDesk f(DeskKind::oscInteger);
        f.state->soundObjects = std::vector{f.input1};
        f.view.updateRelativeLevels();
        EXPECT_EQ(f.next(1), (Lines{"/ch/1/mix/1/level 10"}));
        f.view.setOSCOutput(false);
        SpeakerSheetModel(f.view, 1).setChannel(3);
        f.view.setOSCOutput(true);
        EXPECT_EQ(f.next(2), (Lines{"/ch/1/mix/1/level -90", "/ch/1/mix/3/level 10"}));
    }
    // Open with output on: the opened show's levels, and nothing for the previous show's.
    {
        OnFakeDesk f(DeskKind::oscInteger);
        AppStatePersistence files(f.folder.path() / "support", f.defaults);
        f.view.persistence = &files;
        f.state->soundObjects = std::vector{f.input2};
        f.state->speakers = std::vector{speakerAt(1, {0, 0}, 2)};
        const auto file = f.folder.path() / "Other.sonavant";
        files.saveState(*f.state, file);
        ASSERT_TRUE(std::filesystem::exists(file));
        f.state->soundObjects = std::vector{f.input1};
        f.state->speakers = std::vector{speakerAt(1, {0, 0}, 1)};
        f.view.updateRelativeLevels();
        EXPECT_EQ(f.next(1), (Lines{"/ch/1/mix/1/level 10"}));
        f.view.handleImportResult({file, {}});
        ASSERT_EQ(f.state->soundObjects->size(), 1u);
        EXPECT_EQ(f.next(1), (Lines{"/ch/2/mix/2/level 10"}));
        EXPECT_EQ(f.lastAt("/ch/1/mix/1/level"), "10");
    }
}

TEST(DeskMatchesProgram, ALevelTheThrottleHeldNeverFollowsTheBringDownOfItsAddress) {
    // What the outlet is handed, in order: ten sockets may still swap two datagrams sent
    // within a millisecond, which no hand-over order can prevent.
    Fixture f;
    f.state->panningMode = PanningMode::linear;
    auto input1 = sourceAt(1, {0, 0}, udpDesk());
    f.state->soundObjects = std::vector{input1, sourceAt(2, {0, 0}, udpDesk())};
    f.state->speakers = std::vector{speakerAt(1, {0, 0}, 1)};
    // Three edits within the throttle interval: input 1's level for number 3 waits behind its
    // first send, and the input is deleted before it may leave.
    f.view.updateRelativeLevels();
    InputSheetModel(f.view, input1->id).setNumber(3);
    f.view.deleteSoundObject(f.view.soundObjectWithID(input1->id));
    ASSERT_TRUE(eventually([&] { return f.view.staggeredSendsOutstanding() == 0; }));
    std::map<std::string, OSCSendArgument::Storage> last;
    for (const auto& sent : f.outlet->sent())
        last[sent.address] = sent.argument.storage();
    const OSCSendArgument::Storage bottom(std::int64_t{-90}), top(std::int64_t{10});
    EXPECT_TRUE(last.at("/ch/1/mix/1/level") == bottom);
    EXPECT_TRUE(last.at("/ch/2/mix/1/level") == top);
    EXPECT_TRUE(last.at("/ch/3/mix/1/level") == bottom) << "the held level followed the bring-down";
}
