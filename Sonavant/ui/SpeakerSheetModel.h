#pragma once
// The loudspeaker sheet's rules: the types it offers, what appearing, a type change and a
// channel change do to the record, the channel complaint that keeps "Close" disabled, and
// "Delete". Bound to a loudspeaker id: every read and write finds the record afresh, so
// an undo, an import or a remote command that reorders the list cannot redirect an edit
// to another loudspeaker. Every edit is written into the show at once; a type or channel
// the sheet accepts also reaches the desk at once, one that it complains about does not
// (it may belong to another loudspeaker). Main thread only.

#include "Sonavant/engine/ContentView.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SpeakerSheetModel {
public:
    static constexpr std::int64_t channelStepperMin = 1;
    static constexpr std::int64_t channelStepperMax = 48;
    static constexpr double widthStepperMin = 5;
    static constexpr double widthStepperMax = 360;
    static constexpr double widthStep = 5;
    static constexpr double focusMin = -180;
    static constexpr double focusMax = 180;

    SpeakerSheetModel(ContentView& view, std::int64_t speakerID);

    std::int64_t speakerID() const { return speakerID_; }
    // The record as the show holds it now; none once it has gone.
    std::optional<Speaker> record() const;
    // The sheet has something to show: a desk is selected and the loudspeaker exists.
    bool isAvailable() const;
    // Output kinds of the selected desk: its mix kind, then its matrix kind, when enabled.
    std::vector<std::string> availableTypes() const;

    // Moves a loudspeaker whose type the desk does not offer to the first offered type and
    // the lowest channel free for it, then validates.
    void appear();

    void setDisplayName(const std::string& name);
    void setType(const std::string& type);
    // From the field; the record takes any number, validation judges it.
    void setChannel(std::int64_t channel);
    // One step of the stepper. While it is held down its steps reach the record only: the
    // channels passed on the way get nothing, the one it stops at gets the levels.
    void stepChannel(int direction, bool held);
    // False, with the record unchanged, when the text is not a whole number.
    bool setChannelText(std::string_view text);
    void setWidth(double width);
    bool setWidthText(std::string_view text);
    void setFocus(double focus);
    // Judges the current channel again (after a change the sheet did not make itself).
    void validate();

    const std::optional<std::string>& validationError() const { return validationError_; }
    bool canClose() const { return !validationError_.has_value(); }
    bool coverageEditable() const;
    bool focusEditable() const;

    // The value the stepper moves from, and where a step lands (kept within its range).
    static std::int64_t channelStep(std::int64_t current, int direction);
    static double widthStepFrom(double current, int direction);
    // The focus truncated toward zero and the masculine ordinal sign: "-45º".
    static std::string focusLabel(double focus);

    // Removes the loudspeaker (recorded for undo); the sheet then closes.
    void deleteSpeaker();

private:
    // Applies `change` to the record in the show, if it is still there.
    template <class F> bool edit(F&& change);
    void assignLowestChannel(const std::string& type);
    void typeChanged();
    void channelChanged();
    // One level pass, while the channel and the type are acceptable.
    void levelsFollow();

    ContentView& view_;
    std::int64_t speakerID_;
    std::optional<std::string> validationError_;
    bool holdLevels_ = false; // several edits that reach the desk as one
};
