// A remote controller gone wild: 100,000 datagrams to the receive port as fast as loopback
// carries them, half valid commands (track, loudspeaker position, focus, width over 8
// sources and 8 loudspeakers), half garbage (random bytes, cut messages, unknown addresses),
// with a real main view and console lines going to a file.
//
// RemoteFlood reports how long after the last datagram the show held the last valid
// command of every source and loudspeaker (last_command_ms; 30 s when it never did), how
// much resident memory grew (rss_growth_mb, peak during the flood), what the kernel
// dropped at the receive port, and how many commands were merged on their way to the main
// thread. TrackToLevelLatencyToFile is the command-to-datagram time of one track command at
// a time (stagger subtracted), with the console going to a file.

#include "OSCCore/OSCMessage.h"
#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/engine/ContentView.h"
#include "bench/LatencySupport.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "support/Loopback.h"
#include "support/ShowFixtures.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int items = 8;
constexpr int datagrams = 100'000;

using benchsupport::ms;

MixingDesk benchDesk() {
    MixingDesk d = support::mixDesk("Bench", 16);
    d.OSCFloat = true;
    return d;
}

double residentMB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Datagrams the kernel dropped at a local IPv4 UDP port so far.
long kernelDrops(std::uint16_t port) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local;
        fields >> slot >> local;
        if (local.size() < 5 || local.substr(local.size() - 5) != wanted)
            continue;
        std::string field, last;
        while (fields >> field)
            last = field;
        return std::stol(last);
    }
    return -1;
}

// The console goes to a file for the whole run, as an operator's log would.
class ConsoleToFile {
public:
    ConsoleToFile() : folder_("remoteflood-console") {
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int file = ::open((folder_ / "console.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, 1);
        ::close(file);
    }
    ~ConsoleToFile() {
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
    }

private:
    support::TempFolder folder_;
    int saved_ = -1;
};

using benchsupport::ListeningDesk;

class Controller {
public:
    explicit Controller(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        address_.sin_family = AF_INET;
        address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address_.sin_port = htons(port);
    }
    ~Controller() { ::close(fd_); }
    void send(const Data& bytes) {
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address_),
                 sizeof address_);
    }

private:
    int fd_ = -1;
    sockaddr_in address_{};
};

struct Rig {
    Rig() : folder("remoteflood"), defaults(folder.path()) {
        platform::MainRunLoop::adoptCurrentThread();
        std::vector<Speaker> speakers;
        std::vector<std::shared_ptr<SoundObject>> sources;
        for (int i = 1; i <= items; ++i) {
            speakers.push_back(support::mixSpeakerAt(i, benchDesk(), i, 0, {0, 600}));
            sources.push_back(support::inputAt(i, benchDesk(), i, 1, {0, 600}));
        }
        show = std::make_shared<AppState>(
            speakers, sources, std::vector<ObjectGroup>{}, std::vector<Snapshot>{}, std::nullopt, true,
            "127.0.0.1", "49900", true, 5.0, 0, 100, false, std::vector<std::shared_ptr<PathCue>>{},
            Point{0, 600}, ZeroPointPosition::bottomLeft, false, "0", std::nullopt, false, Point{0, 0}, 1.0,
            CanvasOrientation::top, 0.0, true, true, PanningMode::linear);
        view = std::make_unique<ContentView>(show, Binding<std::string>("127.0.0.1"),
                                             Binding<std::string>(std::to_string(desk.port())));
        view->userDefaults = &defaults;
        view->selectedDesk = benchDesk();
        view->saveState();
        view->disableOSCThrottling->set(true);
        view->onAppearLoad();
        platform::MainRunLoop::runUntil([] { return ActionDispatcher::updateOSC != nullptr; }, 10s);
        desk.waitFor(1, 5s);
        platform::MainRunLoop::runFor(50ms);
        port = view->oscReceiver ? view->oscReceiver->localPort() : 0;
        controller = std::make_unique<Controller>(port);
    }
    ~Rig() { view.reset(); }

    support::TempFolder folder;
    platform::UserDefaults defaults;
    ListeningDesk desk;
    std::shared_ptr<AppState> show;
    std::unique_ptr<ContentView> view;
    std::uint16_t port = 0;
    std::unique_ptr<Controller> controller;
};

// The last value sent for each item and kind.
struct Expected {
    std::map<std::int64_t, Point> track, speakerPosition;
    std::map<std::int64_t, double> focus, width;

    bool heldBy(const AppState& show) const {
        for (const auto& source : show.soundObjects.get())
            if (auto it = track.find(source->number.get());
                it != track.end() && !(source->positionMeters.get() == it->second))
                return false;
        for (const auto& speaker : show.speakers.get()) {
            if (auto it = speakerPosition.find(speaker.id);
                it != speakerPosition.end() && !(speaker.positionMeters == it->second))
                return false;
            if (auto it = focus.find(speaker.id); it != focus.end() && speaker.focus != it->second)
                return false;
            if (auto it = width.find(speaker.id); it != width.end() && speaker.width != it->second)
                return false;
        }
        return true;
    }
};

std::vector<Data> floodOf(Expected& expected) {
    std::mt19937 random(22);
    std::uniform_int_distribution<int> item(1, items), kind(0, 3), garbageKind(0, 2), length(1, 200);
    std::uniform_real_distribution<float> value(-20.0f, 20.0f);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<Data> out;
    out.reserve(datagrams);
    for (int i = 0; i < datagrams; ++i) {
        if (i % 2 == 0) {
            const int n = item(random);
            const float a = value(random), b = value(random);
            switch (kind(random)) {
            case 0:
                out.push_back(
                    OSCMessage("/sonavant/track/" + std::to_string(n), {OSCValue(a), OSCValue(b)}).rawData());
                expected.track[n] = Point{a, b};
                break;
            case 1:
                out.push_back(
                    OSCMessage("/sonavant/speaker/position/", {OSCValue(n), OSCValue(a), OSCValue(b)})
                        .rawData());
                expected.speakerPosition[n] = Point{a, b};
                break;
            case 2:
                out.push_back(OSCMessage("/sonavant/speaker/focus/", {OSCValue(n), OSCValue(a)}).rawData());
                expected.focus[n] = a;
                break;
            default:
                out.push_back(OSCMessage("/sonavant/speaker/width/", {OSCValue(n), OSCValue(a)}).rawData());
                expected.width[n] = a;
                break;
            }
            continue;
        }
        switch (garbageKind(random)) {
        case 0: {
            Data bytes(static_cast<std::size_t>(length(random)));
            for (auto& b : bytes)
                b = static_cast<std::uint8_t>(byte(random));
            out.push_back(std::move(bytes));
            break;
        }
        case 1: {
            Data bytes = OSCMessage("/sonavant/track/3", {OSCValue(1.0f), OSCValue(2.0f)}).rawData();
            bytes.resize(bytes.size() - 3); // cut short
            out.push_back(std::move(bytes));
            break;
        }
        default:
            out.push_back(OSCMessage("/nobody/listens/" + std::to_string(i), {OSCValue(i)}).rawData());
        }
    }
    return out;
}

void BM_RemoteFlood(benchmark::State& state) {
    ConsoleToFile console;
    Rig rig;
    Expected expected;
    const auto flood = floodOf(expected);
    double lastCommandMs = 30'000, growth = 0, sendSeconds = 0;
    long drops = 0;
    for (auto _ : state) {
        const double before = residentMB();
        double peak = before;
        const long dropsBefore = kernelDrops(rig.port);
        std::atomic<bool> sent{false};
        Clock::time_point lastSent;
        const auto start = Clock::now();
        std::thread sender([&] {
            for (const auto& bytes : flood)
                rig.controller->send(bytes);
            lastSent = Clock::now();
            sent = true;
        });
        const bool held = platform::MainRunLoop::runUntil(
            [&] {
                peak = std::max(peak, residentMB());
                return sent && expected.heldBy(*rig.show);
            },
            30s);
        const auto heldAt = Clock::now();
        sender.join();
        sendSeconds = std::chrono::duration<double>(lastSent - start).count();
        if (held)
            lastCommandMs = std::max(0.0, ms(heldAt - lastSent));
        platform::MainRunLoop::runFor(200ms);
        peak = std::max(peak, residentMB());
        growth = peak - before;
        drops = kernelDrops(rig.port) - dropsBefore;
    }
    state.counters["last_command_ms"] = lastCommandMs;
    state.counters["rss_growth_mb"] = growth;
    state.counters["kernel_drops"] = static_cast<double>(drops);
    state.counters["sent_per_s"] = datagrams / sendSeconds;
    state.counters["coalesced"] = static_cast<double>(rig.view->remoteCommands->coalesced());
    state.counters["rcvbuf_kb"] = rig.view->oscReceiver->oscServer()->receiveBufferSize() / 1024.0;
}


void BM_TrackToLevelLatencyToFile(benchmark::State& state) {
    ConsoleToFile console;
    Rig rig;
    // Source 1 against loudspeaker 1 only, so one datagram answers each command; every send of
    // a pass is out before the next command.
    benchsupport::measureCommandToDatagram(
        state, rig.desk,
        [&](int i) {
            const float x = (i % 2) ? 1.0f : 2.5f;
            rig.controller->send(OSCMessage("/sonavant/track/1", {OSCValue(x), OSCValue(1.0f)}).rawData());
        },
        10ms, 100ms);
}

} // namespace

BENCHMARK(BM_RemoteFlood)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackToLevelLatencyToFile)->Iterations(300)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
