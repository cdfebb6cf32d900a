#pragma once
// What the mixer window does, without its drawing: for the selected source, one fader per
// loudspeaker with its range, value, mute and freeze; moves and mutes sent straight to the
// desk; stepping between sources; renaming. The window paints this and calls it.
// Main thread only.

#include "Sonavant/model/AppState.h"
#include "Sonavant/model/DeskRoute.h"
#include "Sonavant/model/NamedColor.h"
#include "Sonavant/ui/MixerInputs.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

class ContentView;

class MixerModel {
public:
    using Inputs = MixerInputs;
    explicit MixerModel(Inputs inputs);
    // The main view's show state, desk address and port, outlet and save action.
    static Inputs inputsOf(ContentView& view);

    AppState& appState() const { return *inputs_.appState; }
    const std::shared_ptr<SoundObject>& selected() const {
        return inputs_.appState->selectedSoundObject.get();
    }
    const Speaker* speaker(std::int64_t speakerID) const;

    // ---- One row (the selected source on one loudspeaker) ----------------------------------
    DeskRange faderRange(const Speaker& speaker) const;
    // Muted: the silence value; frozen: the value last set in this window for the pair, else
    // the recorded level; otherwise the recorded level. No recorded level reads as silence.
    double faderValue(const Speaker& speaker) const;
    bool isMuted(std::int64_t speakerID) const;
    bool isFrozen(std::int64_t speakerID) const;

    // A fader moved: records the whole-number level and sends it to the desk.
    void faderChanged(std::int64_t speakerID, double value);
    void faderEditingChanged(std::int64_t speakerID, bool editing);
    // The drag ended: saves, and a moment later sends the pair's last level once more,
    // unless the fader moved again or a level pass sent the pair since. The sends of a drag
    // leave from several sockets and may arrive out of order; the desk must end at the level
    // the fader shows.
    void faderEditingEnded(std::int64_t speakerID);
    static constexpr std::chrono::milliseconds settleDelay{100};
    // The "M" button: mutes (sending the silence value once) or unmutes (the level engine
    // then sends the pair's level as new).
    void sendRangeMinimum(std::int64_t speakerID);
    void toggleFreeze(std::int64_t speakerID);
    void toggleMute(std::int64_t speakerID);

    // ---- Header ----------------------------------------------------------------------------
    void selectPrevious();
    void selectNext();
    void renameSource(const std::string& name);
    void renameSpeaker(std::int64_t speakerID, const std::string& name);
    void submitName();             // the operator pressed Return in a name field
    NamedColor kindColour() const; // drawn at half opacity
    NamedColor speakerAccentColour(const Speaker& speaker) const;

    // The window came on screen. True when it must close again (SoundScape mode).
    bool onAppear();
    void faderAppeared(const Speaker& speaker) const;

    // The desk address of the pair, or none (with the console line saying why).
    std::optional<std::string> deskOSCAddress(const Speaker& speaker, const SoundObject& source) const;

private:
    // Hands the value to the desk; the mark of the send when it left, else none.
    std::optional<std::uint64_t> send(const Speaker& speaker, const SoundObject& source, double value);
    void save();

    Inputs inputs_;
    // Values set here for frozen pairs, per source and loudspeaker; gone with the window.
    std::map<std::pair<platform::UUID, std::int64_t>, double> sliderOverrides_;
    std::map<std::pair<platform::UUID, std::int64_t>, std::uint64_t> moves_;     // fader moves per pair
    std::map<std::pair<platform::UUID, std::int64_t>, std::uint64_t> lastSends_; // marks of the sends here
    const std::shared_ptr<MixerModel*> alive_ = std::make_shared<MixerModel*>(this);
};
