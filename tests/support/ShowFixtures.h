#pragma once
// Desks, shows, sources and loudspeakers shared by the tests and the benchmarks. Callers
// that need other values pass them in, so each fixture keeps exactly what it had.

#include "Sonavant/model/AppState.h"

#include <memory>
#include <string>

namespace support {

// The least a desk needs to route inputs to mixes.
inline MixingDesk mixDesk(std::string name, std::int64_t mixes) {
    MixingDesk d;
    d.name = d.displayName = std::move(name);
    d.inputName = "Input";
    d.mixEnabled = true;
    d.mixName = "Mix";
    d.mixNum = mixes;
    d.mixOSCSend = "/ch/{n}/mix/{m}/level";
    d.mixOSCSendRange = DeskRangeTexts{"-90", "10"};
    return d;
}

struct AcmeDesk {
    std::string name = "Acme 48";
    std::int64_t inputs = 48;
    std::int64_t mixes = 16;
    bool oscFloat = false;
    bool mixColour = true;
    bool udp = true;
};

// A fictional maker's desk with inputs and mixes, whole-number levels from -90 to 10.
inline MixingDesk acmeDesk(const AcmeDesk& options = {}) {
    MixingDesk d = mixDesk(options.name, options.mixes);
    d.brand = "Acme";
    d.defaultPort = 10023;
    d.OSCFloat = options.oscFloat;
    d.inputsNum = options.inputs;
    d.inputColour = "blue";
    if (options.mixColour)
        d.mixColour = "green";
    d.UDP = options.udp;
    return d;
}

// `d` with eight orange matrices that inputs send to, whole-number levels from -90 to 10.
inline MixingDesk withMatrices(MixingDesk d) {
    d.mtxEnabled = true;
    d.mtxName = "Matrix";
    d.mtxNum = 8;
    d.mtxColour = "orange";
    d.mtxOSCSend = "/ch/{n}/mtx/{m}/level";
    d.mtxOSCSendRange = DeskRangeTexts{"-90", "10"};
    d.inputToMtx = true;
    return d;
}

// What differs between the empty shows callers start from; the defaults are first launch.
struct EmptyShowOptions {
    double imageScale = 100.0;
    PanningMode panning = PanningMode::constantPower;
    double range = 5.0;
    Point zeroPoint{0, 0};
};

inline std::shared_ptr<AppState> emptyShow(const EmptyShowOptions& options = {}) {
    return std::make_shared<AppState>(
        std::vector<Speaker>{}, std::vector<std::shared_ptr<SoundObject>>{}, std::vector<ObjectGroup>{},
        std::vector<Snapshot>{}, std::nullopt, true, "127.0.0.1", "49900", true, options.range, 0, 100, false,
        std::vector<std::shared_ptr<PathCue>>{}, options.zeroPoint, ZeroPointPosition::bottomLeft, false,
        "6000", std::nullopt, false, Point{0, 0}, options.imageScale, CanvasOrientation::top, 0.0, true, true,
        options.panning);
}

// An input placed in metres at zoom 100.
inline std::shared_ptr<SoundObject> inputAt(std::int64_t number, const MixingDesk& desk, double x, double y,
                                            Point zero) {
    return std::make_shared<SoundObject>("Input", number, desk, x, y, 100.0, zero);
}

// A loudspeaker placed in metres at zoom 100, on the mix of its own number.
inline Speaker mixSpeakerAt(std::int64_t id, const MixingDesk& desk, double x, double y, Point zero,
                            double width = 70.0) {
    return Speaker(id, x, y, width, 100.0, zero, id, "Mix", desk);
}

// Placed straight on the canvas, for the level engine, which reads canvas positions only.
inline Speaker speakerAt(std::int64_t id, Point canvas, std::int64_t channel, std::string type = "Mix",
                         double focus = 0, double width = 70) {
    Speaker s;
    s.id = id;
    s.position = canvas;
    s.channelNumber = channel;
    s.displayNumber = channel;
    s.type = std::move(type);
    s.focus = focus;
    s.width = width;
    return s;
}

inline std::shared_ptr<SoundObject> sourceAt(std::int64_t number, Point canvas, const MixingDesk& desk,
                                             std::string type = "Input") {
    auto source = std::make_shared<SoundObject>(std::move(type), number, desk, 0, 0, 100, Point{0, 0});
    source->position = canvas;
    return source;
}

} // namespace support
