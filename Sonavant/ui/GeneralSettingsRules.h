#pragma once
// The rules of the "General" settings page: what SoundScape mode and a missing audience
// area disable, the coverage-width stepper, and the pan-law setters that resend levels.

#include "Sonavant/model/CanvasOrientation.h"
#include "Sonavant/model/PanningMode.h"

#include <functional>
#include <string>
#include <vector>

class AppState;
struct AudienceArea;

struct GeneralSettingsRules {
    struct Enables {
        bool showRangeCircle = true;
        bool showGrid = true;
        bool zeroPointPosition = true;
        bool canvasOrientation = true;
        bool showSpeakerFocus = true;
        bool showSpeakerCoverage = true;
        bool coverageWidth = true;
        bool panningMode = true;
        bool audienceAwarePanLaw = true;
        bool defineAreaHintShown = false;
    };
    static Enables enables(bool isSoundScapeMode, bool hasAudienceAreas);

    static constexpr double minimumCoverageWidth = 5;
    static constexpr double maximumCoverageWidth = 360;
    static constexpr double coverageWidthStep = 5;
    // `steps` up (positive) or down, kept within the range.
    static double steppedCoverageWidth(double width, int steps);
    static bool canStepCoverageWidth(double width, int steps);
    // The width truncated to whole degrees: 70 reads "70°".
    static std::string coverageWidthLabel(double width);

    // "Top", "Right", "Bottom", "Left": the stored raw values capitalised.
    static std::string orientationLabel(CanvasOrientation orientation);

    // The picker's setter: the mode first, then the resend.
    static void setPanningMode(AppState& show, PanningMode mode,
                               const std::function<void()>& onPanLawChanged);
    // The switch's setter: only on while an audience area exists; then the resend.
    static void setAudienceAwarePanLaw(AppState& show, bool on, const std::function<void()>& onPanLawChanged);
    // The watch on the area list: the last area gone turns a switched-on pan law off, once.
    static void audienceAreasChanged(AppState& show, const std::vector<AudienceArea>& areas,
                                     const std::function<void()>& onPanLawChanged);
};
