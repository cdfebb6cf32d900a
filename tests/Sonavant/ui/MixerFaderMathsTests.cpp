#include "Sonavant/ui/MixerFaderMaths.h"
#include "Sonavant/ui/MixerWindowFrame.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

MixingDesk fullDesk() {
    MixingDesk d = support::acmeDesk();
    d.mtxName = "Matrix";
    d.mtxEnabled = true;
    d.mtxOSCSend = "/mtx/{n}/{m}";
    d.mtxOSCSendRange = DeskRangeTexts{"-120", "0"};
    d.mixOSCSendToMtx = "/mixmtx/{n}/{m}";
    d.mixOSCSendToMtxRange = DeskRangeTexts{"0", "1000"};
    d.inputToMtx = true;
    d.cueName = "Cue";
    d.cueModeEnabled = true;
    d.cueOSC = "/cue/{m}";
    d.cueRange = DeskRangeTexts{"-50", "5"};
    return d;
}

} // namespace

TEST(MixerFaderRange, EachRowRunsOverTheRangeOfTheSendThatCarriesIt) {
    const MixingDesk desk = fullDesk();
    struct Row {
        const char* source;
        const char* speaker;
        DeskRange range;
    } rows[] = {
        {"Input", "Mix", {-90, 10}},    // the input-to-mix send
        {"Input", "Matrix", {-120, 0}}, // the input-to-matrix send, not the mix range
        {"Mix", "Matrix", {0, 1000}},   // the mix-to-matrix send
        {"Mix", "Mix", {-90, 10}},      // sends nothing: the desk's input-to-mix range
        {"Cue", "Mix", {-90, 10}},      // the mixer has no cue row
        {"Unknown", "Mix", {-90, 10}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(mixerFaderRange(desk, row.source, row.speaker), row.range)
            << row.source << " on " << row.speaker;

    EXPECT_EQ(mixerFaderRange(std::nullopt, "Input", "Mix"), (DeskRange{0, 100})) << "no desk";

    // Ranges that are no two finite numbers read as 0 to 100.
    for (DeskRangeTexts bad :
         {DeskRangeTexts{"-90"}, DeskRangeTexts{"-90", "10", "20"}, DeskRangeTexts{"low", "10"},
          DeskRangeTexts{"-inf", "10"}, DeskRangeTexts{"nan", "10"}, DeskRangeTexts{"1e999", "0"}}) {
        MixingDesk d = fullDesk();
        d.mixOSCSendRange = bad;
        EXPECT_EQ(mixerFaderRange(d, "Input", "Mix"), (DeskRange{0, 100})) << bad[0];
        EXPECT_EQ(mixerFaderRange(d, "Mix", "Mix"), (DeskRange{0, 100})) << bad[0];
    }
    // Bounds listed high to low keep their order: the first is the desk's silence value.
    MixingDesk inverted = fullDesk();
    inverted.mixOSCSendRange = DeskRangeTexts{"10", "-90"};
    EXPECT_EQ(mixerFaderRange(inverted, "Input", "Mix"), (DeskRange{10, -90}));
}

TEST(MixerFaderMaths, ValuesAndPositionsAlongTheTrack) {
    const DeskRange desk{-90, 10};
    EXPECT_DOUBLE_EQ(faderValueAt(0, 200, desk), -90);
    EXPECT_DOUBLE_EQ(faderValueAt(200, 200, desk), 10);
    EXPECT_DOUBLE_EQ(faderValueAt(100, 200, desk), -40);
    EXPECT_DOUBLE_EQ(faderValueAt(-35, 200, desk), -90) << "left of the track";
    EXPECT_DOUBLE_EQ(faderValueAt(900, 200, desk), 10) << "right of the track";
    EXPECT_DOUBLE_EQ(faderPosition(-40, 200, desk), 100);
    EXPECT_DOUBLE_EQ(faderPosition(-500, 200, desk), 0) << "levels beyond the range sit at the ends";
    EXPECT_DOUBLE_EQ(faderPosition(500, 200, desk), 200);

    // Before layout the track has no width: a drag gives the silence value, never a value
    // outside the range, and the thumb sits at the left.
    for (double width : {0.0, -4.0, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_DOUBLE_EQ(faderValueAt(57, width, desk), -90);
        EXPECT_DOUBLE_EQ(faderPosition(0, width, desk), 0);
    }
    EXPECT_DOUBLE_EQ(faderValueAt(std::nan(""), 200, desk), -90);

    // A desk whose silence value is the larger number: left is still silence.
    const DeskRange inverted{10, -90};
    EXPECT_DOUBLE_EQ(faderValueAt(0, 200, inverted), 10);
    EXPECT_DOUBLE_EQ(faderValueAt(200, 200, inverted), -90);
    EXPECT_DOUBLE_EQ(faderPosition(-40, 200, inverted), 100);
    EXPECT_DOUBLE_EQ(faderPosition(50, 200, inverted), 0);

    // Equal bounds: one value, thumb at the left, no division by zero.
    EXPECT_DOUBLE_EQ(faderValueAt(120, 200, {5, 5}), 5);
    EXPECT_DOUBLE_EQ(faderPosition(5, 200, {5, 5}), 0);
}

TEST(MixerFaderMaths, LevelsAreTruncatedTowardZeroAndStayInTheRange) {
    const DeskRange desk{-90, 10};
    EXPECT_DOUBLE_EQ(faderLevel(-12.7, desk), -12);
    EXPECT_DOUBLE_EQ(faderLevel(-0.4, desk), 0);
    EXPECT_DOUBLE_EQ(faderLevel(7.99, desk), 7);
    EXPECT_DOUBLE_EQ(faderLevel(-90, desk), -90);
    EXPECT_DOUBLE_EQ(faderLevel(10, desk), 10);
    EXPECT_DOUBLE_EQ(faderLevel(std::nan(""), desk), -90);
    // Fractional bounds: truncation may not step past them.
    EXPECT_DOUBLE_EQ(faderLevel(0.7, {0.5, 10.5}), 0.5);
    EXPECT_DOUBLE_EQ(faderLevel(-0.7, {-10.5, -0.5}), -0.5);
    EXPECT_DOUBLE_EQ(faderLevel(10.4, {0.5, 10.5}), 10);
}

TEST(MixerFaderMaths, DragsStartOnlyOnTheThumb) {
    const DeskRange desk{-90, 10};
    // Thumb of value -40 on a 200-point track: centre (100, 15), drawn radius 10.5.
    EXPECT_TRUE(isOnFaderThumb(100, 15, -40, 200, desk));
    EXPECT_TRUE(isOnFaderThumb(110, 15, -40, 200, desk));
    EXPECT_TRUE(isOnFaderThumb(100, 5, -40, 200, desk));
    EXPECT_FALSE(isOnFaderThumb(112, 15, -40, 200, desk));
    EXPECT_FALSE(isOnFaderThumb(20, 15, -40, 200, desk)) << "the track away from the thumb";
    EXPECT_TRUE(isOnFaderThumb(0, 15, -90, 200, desk)) << "thumb at the left end";
    EXPECT_TRUE(isOnFaderThumb(0, 15, -90, 0, desk)) << "no width yet";
}

TEST(MixerWindowFrame, FrameTextRoundTripsAndBadTextsAreRefused) {
    const MixerWindowFrame frame{1470.5, 40, 430, 612};
    EXPECT_EQ(frame.text(), "{{1470.5, 40}, {430, 612}}");
    EXPECT_EQ(MixerWindowFrame::parse(frame.text()), frame);
    EXPECT_EQ(MixerWindowFrame::parse("{{-20, -3}, {430, 300}}"), (MixerWindowFrame{-20, -3, 430, 300}));
    EXPECT_EQ(MixerWindowFrame::parse(" {{1,2},{430,301}} "), (MixerWindowFrame{1, 2, 430, 301}));
    for (const char* bad :
         {"", "garbage", "{{1, 2}, {430}}", "{{1, 2}, {0, 300}}", "{{1, 2}, {430, -5}}",
          "{{1, 2}, {430, 300}} extra", "{{nan, 2}, {430, 300}}", "{{1, 2}, {inf, 300}}", "{1, 2, 430, 300}"})
        EXPECT_FALSE(MixerWindowFrame::parse(bad)) << bad;

    // First opening: the top right of the visible area, 20 in from the right and 40 down.
    EXPECT_EQ(MixerWindowFrame::firstPlacement(0, 25, 1920), (MixerWindowFrame{1470, 65, 430, 300}));
    // The width is fixed, the height no lower than 300 and unbounded above.
    EXPECT_EQ(MixerWindowFrame::constrained({5, 6, 900, 120}), (MixerWindowFrame{5, 6, 430, 300}));
    EXPECT_EQ(MixerWindowFrame::constrained({5, 6, 100, 4000}), (MixerWindowFrame{5, 6, 430, 4000}));
}
