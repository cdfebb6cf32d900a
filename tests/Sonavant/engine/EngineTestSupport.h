#pragma once
// Shows, desks and outlets for the level-engine tests.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/AppState.h"
#include "platform/RunLoop.h"
#include "support/Eventually.h"
#include "support/ShowFixtures.h"

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
    MixingDesk d = support::acmeDesk({.mixColour = false});
    d.mtxEnabled = true;
    d.mtxName = "Matrix";
    d.mtxNum = 8;
    d.mtxOSCSend = "/ch/{n}/mtx/{m}/level";
    d.mtxOSCSendRange = DeskRangeTexts{"-90", "10"};
    d.inputToMtx = true;
    return d;
}

// The values the application starts with when there is no autosave.
inline std::shared_ptr<AppState> firstLaunchState() {
    return support::emptyShow({.imageScale = 1.0});
}

using support::sourceAt;
using support::speakerAt;

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
    return support::eventually(condition, timeout);
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
