// The settings pages' rules: what SoundScape mode and missing audience areas disable, the
// steppers' ranges, the rotation commit and clamp, the number fields, and the pan-law setters.

#include "Sonavant/model/AppState.h"
#include "Sonavant/ui/BackgroundSettingsRules.h"
#include "Sonavant/ui/GeneralSettingsRules.h"
#include "Sonavant/ui/SettingsSection.h"
#include "support/ShowFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Background = BackgroundSettingsRules;
using General = GeneralSettingsRules;

AudienceArea area() {
    AudienceArea a;
    a.id = platform::UUID::random();
    a.name = "Audience";
    return a;
}

TEST(GeneralSettingsRules, SoundScapeGreysTheLoudspeakerDisplayAndNoAreaGreysThePanLawSwitch) {
    struct Row {
        bool soundScape, areas;
        bool rangeCircle, focus, coverage, width, audience, hint;
    };
    for (const Row& row : {Row{false, false, true, true, true, true, false, true},
                           Row{false, true, true, true, true, true, true, false},
                           Row{true, false, false, false, false, false, false, true},
                           Row{true, true, false, false, false, false, true, false}}) {
        SCOPED_TRACE(testing::Message() << "soundScape " << row.soundScape << " areas " << row.areas);
        const auto e = General::enables(row.soundScape, row.areas);
        EXPECT_EQ(e.showRangeCircle, row.rangeCircle);
        EXPECT_EQ(e.showSpeakerFocus, row.focus);
        EXPECT_EQ(e.showSpeakerCoverage, row.coverage);
        EXPECT_EQ(e.coverageWidth, row.width);
        EXPECT_EQ(e.audienceAwarePanLaw, row.audience);
        EXPECT_EQ(e.defineAreaHintShown, row.hint);
        // Never greyed: the grid and both pickers, and the panning mode.
        EXPECT_TRUE(e.showGrid && e.zeroPointPosition && e.canvasOrientation && e.panningMode);
    }
}

TEST(GeneralSettingsRules, CoverageWidthStepsByFiveWithinItsRangeAndReadsInWholeDegrees) {
    struct Row {
        double width;
        int steps;
        double expected;
    };
    for (const Row& row : {Row{70, 1, 75}, Row{70, -1, 65}, Row{5, -1, 5}, Row{7, -1, 5}, Row{360, 1, 360},
                           Row{358, 1, 360}, Row{400, -1, 360}, Row{NAN, 1, 10}}) {
        SCOPED_TRACE(row.width);
        EXPECT_EQ(General::steppedCoverageWidth(row.width, row.steps), row.expected);
    }
    EXPECT_FALSE(General::canStepCoverageWidth(5, -1));
    EXPECT_TRUE(General::canStepCoverageWidth(5, 1));
    EXPECT_FALSE(General::canStepCoverageWidth(360, 1));
    EXPECT_TRUE(General::canStepCoverageWidth(360, -1));

    EXPECT_EQ(General::coverageWidthLabel(70), "70°");
    EXPECT_EQ(General::coverageWidthLabel(75.9), "75°");
    EXPECT_EQ(General::coverageWidthLabel(-7.9), "-7°");
    // Not a number and out-of-range values must not reach an integer conversion.
    EXPECT_EQ(General::coverageWidthLabel(std::numeric_limits<double>::quiet_NaN()), "0°");
    EXPECT_EQ(General::coverageWidthLabel(1e300), "1000000000°");

    EXPECT_EQ(General::orientationLabel(CanvasOrientation::top), "Top");
    EXPECT_EQ(General::orientationLabel(CanvasOrientation::left), "Left");
}

TEST(GeneralSettingsRules, PanLawSettersWriteFirstThenResendOnceAndTheLastAreaTurnsTheSwitchOff) {
    auto show = support::emptyShow();
    int resends = 0;
    PanningMode seen = PanningMode::linear;
    auto onPanLawChanged = [&] {
        ++resends;
        seen = show->panningMode;
    };

    General::setPanningMode(*show, PanningMode::sine, onPanLawChanged);
    EXPECT_EQ(show->panningMode.get(), PanningMode::sine);
    EXPECT_EQ(seen, PanningMode::sine) << "the mode is in before the resend";
    EXPECT_EQ(resends, 1);

    // No area: the switch stays off, and the levels are still resent.
    General::setAudienceAwarePanLaw(*show, true, onPanLawChanged);
    EXPECT_FALSE(show->audienceAwarePanLaw);
    EXPECT_EQ(resends, 2);

    show->audienceAreas = {area()};
    General::setAudienceAwarePanLaw(*show, true, onPanLawChanged);
    EXPECT_TRUE(show->audienceAwarePanLaw);
    EXPECT_EQ(resends, 3);

    // Another area list with areas in it changes nothing.
    General::audienceAreasChanged(*show, {area(), area()}, onPanLawChanged);
    EXPECT_TRUE(show->audienceAwarePanLaw);
    EXPECT_EQ(resends, 3);

    show->audienceAreas = std::vector<AudienceArea>{};
    General::audienceAreasChanged(*show, show->audienceAreas, onPanLawChanged);
    EXPECT_FALSE(show->audienceAwarePanLaw);
    EXPECT_EQ(resends, 4);
    // Already off: nothing more.
    General::audienceAreasChanged(*show, show->audienceAreas, onPanLawChanged);
    EXPECT_EQ(resends, 4);

    // Opened from the menu the action is empty: the setters still write.
    General::setPanningMode(*show, PanningMode::power, {});
    EXPECT_EQ(show->panningMode.get(), PanningMode::power);
}

TEST(BackgroundSettingsRules, RotationCommitStoresClampedWholeNumbersAndRestoresTheFieldOtherwise) {
    struct Row {
        const char* input;
        double current;
        std::optional<double> stored;
        const char* text;
    };
    for (const Row& row :
         {Row{"400", 10, 180.0, "180"}, Row{"-400", 10, -180.0, "-180"}, Row{"+45", 0, 45.0, "45"},
          Row{"-0", 3, 0.0, "0"}, Row{"180", 0, 180.0, "180"},
          Row{"99999999999999999999999", 0, 180.0, "180"}, Row{"12.5", 33.7, std::nullopt, "33"},
          Row{"", -20.9, std::nullopt, "-20"}, Row{"abc", 0, std::nullopt, "0"},
          Row{"1e3", 5, std::nullopt, "5"}, Row{" 12", 5, std::nullopt, "5"}, Row{"+", 5, std::nullopt, "5"},
          Row{"--5", 5, std::nullopt, "5"}}) {
        SCOPED_TRACE(row.input);
        const auto commit = Background::commitRotation(row.input, row.current);
        EXPECT_EQ(commit.rotation, row.stored);
        EXPECT_EQ(commit.text, row.text);
    }
    EXPECT_EQ(Background::rotationText(45.9), "45");
    EXPECT_EQ(Background::rotationText(-45.9), "-45");
    EXPECT_EQ(Background::rotationText(std::numeric_limits<double>::infinity()), "0");
    EXPECT_EQ(Background::rotationSliderPosition(45.6), 46);
    EXPECT_EQ(Background::rotationSliderPosition(500), 180);
    EXPECT_EQ(Background::rotationSliderPosition(NAN), 0);
}

TEST(BackgroundSettingsRules, ScaleShowsTwoDecimalsAndRefusesWhatCannotBeDrawnOrSaved) {
    EXPECT_EQ(Background::scaleText(1.0), "1.00");
    EXPECT_EQ(Background::scaleText(0.001), "0.00");
    EXPECT_EQ(Background::scaleText(2.345), "2.35");
    EXPECT_EQ(Background::scaleText(12345.5), "12345.50");

    struct Row {
        const char* input;
        std::optional<double> value;
    };
    for (const Row& row : {Row{"2.5", 2.5}, Row{" 0.25 ", 0.25}, Row{"+3", 3.0}, Row{"0.001", 0.001},
                           Row{".5", 0.5}, Row{"0", std::nullopt}, Row{"-1", std::nullopt},
                           Row{"-0.0", std::nullopt}, Row{"nan", std::nullopt}, Row{"inf", std::nullopt},
                           Row{"1e400", std::nullopt}, Row{"1,5", std::nullopt}, Row{"", std::nullopt},
                           Row{"1.2.3", std::nullopt}, Row{"abc", std::nullopt}}) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(Background::parseScale(row.input), row.value);
    }

    EXPECT_DOUBLE_EQ(Background::steppedScale(1.0, 1), 1.1);
    EXPECT_DOUBLE_EQ(Background::steppedScale(0.05, -1), 0.001) << "the stepper stops at 0.001";
    EXPECT_FALSE(Background::canStepScale(0.001, -1));
    EXPECT_TRUE(Background::canStepScale(0.001, 1));
    EXPECT_FALSE(Background::canStepScale(std::numeric_limits<double>::max(), 1));
}

TEST(BackgroundSettingsRules, OffsetsAreWholeNumbersOnScreenAndAnyFiniteNumberTyped) {
    EXPECT_EQ(Background::offsetText(12.0), "12");
    EXPECT_EQ(Background::offsetText(12.5), "12"); // halves to even
    EXPECT_EQ(Background::offsetText(13.5), "14");
    EXPECT_EQ(Background::offsetText(-0.2), "0");
    EXPECT_EQ(Background::offsetText(-7.6), "-8");
    EXPECT_EQ(Background::parseOffset("-12.5"), -12.5);
    EXPECT_EQ(Background::parseOffset("40"), 40.0);
    EXPECT_EQ(Background::parseOffset("nan"), std::nullopt);
    EXPECT_EQ(Background::parseOffset("x"), std::nullopt);
    EXPECT_EQ(Background::steppedOffset(-0.5, 1), 0.5);
    EXPECT_EQ(Background::steppedOffset(3, -2), 1);
}

TEST(BackgroundSettingsRules, AChosenFileIsStoredAsItsPercentEncodedAbsoluteURL) {
    EXPECT_EQ(Background::imageURL("/home/op/Floor Plans/stage #2.png"),
              "file:///home/op/Floor%20Plans/stage%20%232.png");
    EXPECT_EQ(Background::imagePath("file:///home/op/Floor%20Plans/stage%20%232.png"),
              std::filesystem::path("/home/op/Floor Plans/stage #2.png"));
    EXPECT_EQ(Background::imagePath("https://example.invalid/plan.png"), std::nullopt);
    EXPECT_EQ(Background::imageExtensions(), (std::vector<std::string>{"png", "jpg", "jpeg", "tiff", "bmp"}));
}

TEST(SettingsSection, RawValuesAreTheSidebarLabelsInOrder) {
    std::vector<std::string> labels;
    for (auto section : allSettingsSections)
        labels.emplace_back(rawValue(section));
    EXPECT_EQ(labels, (std::vector<std::string>{"General", "Network", "Background"}));
    EXPECT_EQ(settingsSectionFromRawValue("Network"), SettingsSection::network);
    EXPECT_EQ(settingsSectionFromRawValue("network"), std::nullopt);
    EXPECT_EQ(settingsSectionFromRawValue(""), std::nullopt);
}

} // namespace
