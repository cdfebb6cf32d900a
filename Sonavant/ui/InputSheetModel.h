#pragma once
// The input sheet's rules: the kinds it offers, the number check and its messages, the
// stepper's range, and the renaming that follows a change of kind. Bound to a source id:
// every read and write finds the source afresh in the show, so an undo (which brings back
// fresh copies of the sources), an import or a remote command cannot redirect an edit to
// another source or to a copy that has left the show. Every edit is written at once and
// nothing is recorded for undo. A change of number or kind reaches the desk at once: the
// new addresses get their levels and the old ones come down unless another source uses
// them (a number out of range has no address; a number in use shares one). Main thread only.

#include "Sonavant/engine/ContentView.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class InputSheetModel {
public:
    InputSheetModel(ContentView& view, const platform::UUID& sourceID);

    const platform::UUID& sourceID() const { return sourceID_; }
    // The source as the show holds it now; null once it has gone.
    std::shared_ptr<SoundObject> source() const;
    // The sheet has something to show: a desk is selected and the source exists.
    bool isAvailable() const;
    // The selected desk's kinds: its mix kind (when mix sends are on), its input kind, its
    // cue kind (when cue mode is on).
    std::vector<std::string> availableTypes() const;
    // The desk's input count, the highest valid number.
    std::int64_t inputCount() const;
    // The stepper's range: 1 to the input count, and never empty, so a desk that declares
    // no inputs still leaves the stepper usable (the number check still rejects every value).
    std::int64_t stepperMin() const { return 1; }
    std::int64_t stepperMax() const;
    std::int64_t numberStep(std::int64_t current, int direction) const;

    // Remembers the kind the source has, for the renaming on a later change.
    void appear();

    void setName(const std::string& name);
    void setType(const std::string& type);
    // Stored even when it fails the check: the message shows and "Save" is disabled.
    void setNumber(std::int64_t number);
    // One step of the stepper. While it is held down its steps reach the source only: the
    // numbers passed on the way get nothing, the one it stops at gets the levels.
    void stepNumber(int direction, bool held);
    // False, with the source unchanged, when the text is not a whole number.
    bool setNumberText(std::string_view text);
    // Judges the number again, when a message is showing, against the show as it is now.
    void recheck();
    // Refreshes colour and generated name from the desk.
    void save();

    const std::string& numberValidationMessage() const { return numberValidationMessage_; }
    bool canSave() const { return numberValidationMessage_.empty(); }

    // The complaint about `number` for a source of `type`, empty when there is none.
    std::string numberMessage(std::int64_t number, const std::string& type) const;
    // The renaming rule on a change of kind: a generated name of the old kind ("Input 3")
    // becomes the new kind and the number ("Mix 3"); any other name is the operator's own
    // and is kept. Returns the new name, or none to keep it.
    static std::optional<std::string> renamedForType(const std::string& name, const std::string& previousType,
                                                     const std::string& newType, std::int64_t number);

private:
    void levelsFollow();

    ContentView& view_;
    platform::UUID sourceID_;
    std::string numberValidationMessage_;
    std::string previousType_;
    bool holdLevels_ = false; // several edits that reach the desk as one
};
