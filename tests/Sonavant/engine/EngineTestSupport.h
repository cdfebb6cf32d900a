#pragma once
// Shows, desks and outlets for the level-engine tests.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/AppState.h"
#include "platform/RunLoop.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace enginetest {

using namespace std::chrono_literals;

inline constexpr auto deadline = 5s;

// A UDP desk with inputs, mixes and matrices; whole-number levels from -90 to 10.
inline MixingDesk udpDesk() {
    MixingDesk d;
    d.brand = "Acme";
    d.name = "Acme 48";
    d.displayName = "Acme 48";
    d.defaultPort = 10023;
    d.inputsNum = 48;
    d.inputColour = "blue";
    d.inputName = "Input";
    d.mixEnabled = true;
    d.mixName = "Mix";
    d.mixNum = 16;
    d.mixOSCSend = "/ch/{n}/mix/{m}/level";
    d.mixOSCSendRange = DeskRangeTexts{"-90", "10"};
    d.mtxEnabled = true;
    d.mtxName = "Matrix";
    d.mtxNum = 8;
    d.mtxOSCSend = "/ch/{n}/mtx/{m}/level";
    d.mtxOSCSendRange = DeskRangeTexts{"-90", "10"};
    d.inputToMtx = true;
    d.UDP = true;
    return d;
}

// The values the application starts with when there is no autosave.
inline std::shared_ptr<AppState> firstLaunchState() {
    return std::make_shared<AppState>(
        std::vector<Speaker>{}, std::vector<std::shared_ptr<SoundObject>>{}, std::vector<ObjectGroup>{},
        std::vector<Snapshot>{}, std::nullopt, true, "127.0.0.1", "49900", true, 5.0, 0, 100, false,
        std::vector<std::shared_ptr<PathCue>>{}, Point{0, 0}, ZeroPointPosition::bottomLeft, false, "6000",
        std::nullopt, false, Point{0, 0}, 1.0, CanvasOrientation::top, 0.0, true, true,
        PanningMode::constantPower);
}

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

// Everything the outlet was asked to send, in call order.
class RecordingOutlet : public DeskOutlet {
public:
    struct Sent {
        bool udp = true;
        bool enabled = true;
        std::string address;
        std::string host;
        std::uint16_t port = 0;
        OSCSendArgument argument;
        std::string text;
        std::chrono::steady_clock::time_point at;
    };

    void sendUDP(bool enabled, const std::string& address, const std::string& host, std::uint16_t port,
                 const OSCSendArgument& argument) override {
        std::lock_guard lock(mutex_);
        sent_.push_back({true, enabled, address, host, port, argument, {}, std::chrono::steady_clock::now()});
    }
    void sendTCP(const std::string& text, const std::string& address, const std::string& host,
                 std::uint16_t port) override {
        std::lock_guard lock(mutex_);
        sent_.push_back({false, true, address, host, port, {}, text, std::chrono::steady_clock::now()});
    }
    std::vector<Sent> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return sent_.size();
    }
    std::size_t countFor(const std::string& address) const {
        std::lock_guard lock(mutex_);
        std::size_t n = 0;
        for (const auto& s : sent_)
            n += s.address == address ? 1 : 0;
        return n;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Sent> sent_;
};

inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = deadline) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// A view on a first-launch show with the test desk selected and a recording outlet.
struct Fixture {
    std::shared_ptr<AppState> state = firstLaunchState();
    std::shared_ptr<RecordingOutlet> outlet = std::make_shared<RecordingOutlet>();
    ContentView view{
        state, Binding<std::string>("127.0.0.1"), Binding<std::string>("49900"), Binding<bool>(true), 320.0,
        outlet};
    Fixture() { view.selectedDesk = udpDesk(); }
};

} // namespace enginetest
