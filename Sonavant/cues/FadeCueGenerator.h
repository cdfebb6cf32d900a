#pragma once
// Turns one path cue into QLab 5 fade cues: walks the path node by node, moves the cue's
// sources there, lets the level engine work out the levels, and for every change of levels
// creates one fade cue in QLab, targeting the cue selected in QLab and collected in a new
// group. One run at a time; it runs on the main thread and waits (pauses, replies) without
// blocking it.

#include "Sonavant/cues/FadeCueDialogue.h"
#include "Sonavant/cues/PathCue.h"
#include "Sonavant/model/CanvasOrientation.h"
#include "Sonavant/model/Geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class AppState;

class FadeCueGenerator {
public:
    static constexpr std::uint16_t defaultQLabPort = 53000;
    static constexpr const char* groupName = "Sonavant Fades";

    struct Run {
        std::shared_ptr<AppState> appState;
        std::shared_ptr<PathCue> cue;
        std::string host;
        std::string portText; // 53000 unless a decimal number from 0 to 65535
        double zoom = 100.0;
    };

    // Starts a run and returns at once; `finished` runs on the main thread when it ends.
    // False (and nothing started) while another run is going.
    static bool start(Run run, FadeCueDialogue dialogue, std::function<void()> finished = nullptr);
    static bool isRunning();

    static std::uint16_t port(const std::string& text);
};
