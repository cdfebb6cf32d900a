#pragma once
// Shows, desks, stores and waits for the show-control tests. Every wait has a deadline.

#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "support/Eventually.h"
#include "support/Loopback.h"
#include "support/RecordingPresenter.h"
#include "support/ShowFixtures.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace showcontrol_test {

using namespace std::chrono_literals;

inline constexpr auto deadline = 10s;

inline MixingDesk testDesk(bool udp = true) {
    MixingDesk d = support::acmeDesk({.name = "Acme 32", .inputs = 32, .udp = udp});
    // Fixed, so that a desk read back from a saved show compares equal.
    d.id = *platform::UUID::parse("6F1C2A3B-4D5E-4F60-8172-93A4B5C6D7E8");
    return d;
}

inline std::shared_ptr<AppState> emptyShow() {
    return support::emptyShow({.imageScale = 1.0, .panning = PanningMode::linear});
}

inline std::shared_ptr<SoundObject> source(std::int64_t number, double x, double y, Point zero = {0, 600}) {
    return support::inputAt(number, testDesk(), x, y, zero);
}

inline Speaker speaker(std::int64_t id, double x, double y, Point zero = {0, 600}) {
    return support::mixSpeakerAt(id, testDesk(), x, y, zero);
}

using support::TempFolder;

// Desk messages as the level engine hands them over, without a network.
class RecordingOutlet : public DeskOutlet {
public:
    struct Sent {
        std::string address;
        std::string argument;
        std::uint16_t port = 0;
    };
    void sendUDP(bool, const std::string& address, const std::string&, std::uint16_t port,
                 const OSCSendArgument& argument) override {
        std::lock_guard lock(mutex_);
        sent_.push_back({address, argument.text(), port});
    }
    void sendTCP(const std::string& text, const std::string& address, const std::string&,
                 std::uint16_t port) override {
        std::lock_guard lock(mutex_);
        sent_.push_back({address, text, port});
    }
    std::vector<Sent> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return sent_.size();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Sent> sent_;
};

using support::RecordingPresenter;

// Cue play and stop as a path-cue engine sees them.
class RecordingCueEngine : public PathManager {
public:
    void startPathCue(const std::shared_ptr<PathCue>& cue, double zoom, std::function<void()> step,
                      std::optional<std::int64_t> loopCount) override {
        started.push_back(cue);
        lastZoom = zoom;
        lastLoopCount = loopCount;
        lastStep = std::move(step);
    }
    void stopAllPlayback() override { ++stops; }
    bool hasRunningPlayback() const override { return playing; }

    std::vector<std::shared_ptr<PathCue>> started;
    double lastZoom = 0;
    std::optional<std::int64_t> lastLoopCount;
    std::function<void()> lastStep;
    int stops = 0;
    bool playing = false;
};

inline std::shared_ptr<PathCue> cue(double number, bool hasError = false) {
    auto c = std::make_shared<PathCue>(platform::UUID::random(), "Cue " + std::to_string(number), 4.0,
                                       std::vector<platform::UUID>{}, std::vector<Point>{{0, 0}, {1, 1}},
                                       number, std::nullopt, std::nullopt, false, std::nullopt,
                                       TriggerNextOption::none, false);
    c->hasError = hasError;
    return c;
}

using support::freeUdpPort;

// True when this process can bind the UDP port on all interfaces (nobody holds it).
inline bool udpPortIsFree(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    const bool free = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return free;
}

// Polls off the main loop, for work on other threads.
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = deadline) {
    return support::eventually(condition, timeout);
}

inline std::size_t countLines(const platform::LogCapture& log, std::string_view fragment) {
    std::size_t n = 0;
    for (const auto& line : log.lines())
        n += line.find(fragment) != std::string::npos ? 1 : 0;
    return n;
}

inline bool mainLoopUntil(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout = deadline) {
    return platform::MainRunLoop::runUntil(condition, timeout);
}

// Runs the main loop for a while (for checking that nothing more happens).
inline void settle(std::chrono::milliseconds duration = 300ms) {
    platform::MainRunLoop::runFor(duration);
}

// A view over its own show, store and outlet, on the test's main thread.
class ShowControlFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::MainRunLoop::adoptCurrentThread();
        ActionDispatcher::reset();
        AppState::clearHistory();
        defaults = std::make_unique<platform::UserDefaults>(folder.path());
        show = emptyShow();
    }
    void TearDown() override {
        view.reset();
        ActionDispatcher::reset();
        platform::MainRunLoop::useFakeTime(false);
        settle(20ms); // blocks queued for the gone view
    }

    // A view sending to `host`:`port`, with `outlet` (null: the network).
    ContentView& makeView(const std::string& host = "127.0.0.1", const std::string& port = "49900",
                          std::shared_ptr<DeskOutlet> viewOutlet = nullptr) {
        view = std::make_unique<ContentView>(show, Binding<std::string>(host), Binding<std::string>(port),
                                             Binding<bool>(true), 320.0, std::move(viewOutlet));
        view->userDefaults = defaults.get();
        return *view;
    }

    TempFolder folder;
    std::unique_ptr<platform::UserDefaults> defaults;
    std::shared_ptr<AppState> show;
    std::unique_ptr<ContentView> view;
};

} // namespace showcontrol_test
