#pragma once
// What the path properties sheet does, without its drawing: the editing state of one cue,
// loaded from it when the sheet comes on screen, and the commits that validate and write it
// back. The cue is shared with the cue list, so every accepted write is seen by the list,
// by playback and by saving at once; each one is announced on `PathManager.pathCues` so the
// rows show it. Main thread only.
//
// The sheet binds its fields to the public state and calls the actions: Return in a field
// commits that field, Done applies everything (targets included) and says whether the sheet
// may close, Delete Path removes the cue (which ends its playback and its selection).

#include "Sonavant/cues/PathCue.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class PathManager;

class PathPropertiesEditor {
public:
    static constexpr std::string_view absolute = "Absolute";
    static constexpr std::string_view relative = "Relative";

    PathPropertiesEditor(PathManager& pathManager, std::shared_ptr<PathCue> cue);

    const std::shared_ptr<PathCue>& cue() const { return cue_; }
    // The cue is still in the cue list.
    bool isListed() const;

    // ---- Editing state ---------------------------------------------------------------------
    std::string numberString;
    std::string name;
    std::string timeString;
    bool loop = false;
    std::string loopCountString;
    TriggerNextOption triggerNext = TriggerNextOption::none;
    std::string movementOption{absolute};
    std::string targetsInput;
    std::optional<std::string> targetError;
    // A refused number or time, in the words of its console line; cleared when accepted.
    std::optional<std::string> numberError;
    std::optional<std::string> timeError;
    // Every message to show under the rows, in row order.
    std::vector<std::string> errors() const;

    // ---- Actions -----------------------------------------------------------------------------
    void loadValues();
    // Each returns whether the value was accepted (and written).
    bool validateNumber();
    void commitName();
    bool validateTime();
    // Targets are source numbers; "m<n>" names the mix source n of the selected desk.
    bool validateTargets();
    void movementChanged(std::string_view option);
    void triggerNextChanged(TriggerNextOption option);
    // Done: number, time, targets (when edited since they were loaded or committed), name,
    // loop, count, trigger next and movement. True when nothing was refused: the sheet
    // closes; otherwise it stays open on the message and the accepted values are kept.
    bool applyChanges();
    // Delete Path: the cue leaves the list (its playback and selection end with it).
    void deletePath();

    // The Target(s) text of a list of sources, as loading writes it.
    std::string targetsText(const std::vector<platform::UUID>& ids) const;

private:
    // Announces a write into the cue record, so the list and the selected cue show it.
    void announce();
    bool isMixSource(const class SoundObject& source) const;

    PathManager& pathManager_;
    std::shared_ptr<PathCue> cue_;
    std::string committedTargets_; // the Target(s) text last loaded or accepted
};
