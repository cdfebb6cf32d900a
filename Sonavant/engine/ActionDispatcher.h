#pragma once
// The ten menu commands that reach the main view through action slots, and the four that
// reach it as notifications. The main view fills the slots when it starts; a menu item
// chosen before that (or whose slot is empty) does nothing. Main thread only.

#include <functional>
#include <string>

class ActionDispatcher {
public:
    using Action = std::function<void()>;

    static inline Action addOutput;
    static inline Action addInput;
    static inline Action updateOSC;
    static inline Action clear;
    static inline Action drawPath;
    static inline Action deletePath;
    static inline Action newBlankCanvas;
    static inline Action getPositionsFromDS100;
    static inline Action getSpeakersFromDS100;
    static inline Action zeroSelected;

    // Runs the slot's action when it holds one; silent otherwise.
    static void invoke(const Action& slot);
    // Empties every slot (tests start from launch state).
    static void reset();
};

// Menu commands posted on the default notification centre, no object, no user info.
inline constexpr const char* openMixerNotification = "OpenMixer";
inline constexpr const char* generateFadeCuesNotification = "GenerateFadeCues";
inline constexpr const char* exportStateNotification = "ExportState";
inline constexpr const char* importStateNotification = "ImportState";

void postAppNotification(const std::string& name);
