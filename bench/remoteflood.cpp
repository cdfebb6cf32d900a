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
//
// BundleFlood is what tracking systems and show controllers send: among the 100,000
// datagrams about 2,000 bundles of 50 to 1,249 small messages (three quarters replies nobody
// awaits, a quarter track commands; about 1.3 million messages in all), bundles nested 1 to
// 200 deep, cut bundles, garbage and the usual commands, ending with one track per source and
// one focus and one width per loudspeaker. Unpaced (rate 0) it runs three rounds and reports
// the worst; paced (datagrams a second) it also measures, while the load runs, the
// command-to-datagram time of a track probe for source 1, which the load never moves
// (probe_p99_ms, stagger subtracted).

#include "OSCCore/OSCBundle.h"
#include "OSCCore/OSCMessage.h"
#include "OSCCore/OSCPacketView.h"
#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/engine/ActionDispatcher.h"
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/RemoteCommandQueue.h"
#include "bench/LatencySupport.h"
#include "platform/Log.h"
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
#include <optional>
#include <pthread.h>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int items = 8;
constexpr int datagrams = 100'000;
// The bundle flood moves items 2 to 9; item 1 is the probe's.
constexpr int bundleItems = 9;

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
        platform::consoleFlush();
        saved_ = ::dup(1);
        const int file = ::open((folder_ / "console.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, 1);
        ::close(file);
    }
    ~ConsoleToFile() {
        platform::consoleFlush();
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

template <class Desk> struct RigOf {
    explicit RigOf(int itemCount = items) : folder("remoteflood"), defaults(folder.path()) {
        platform::MainRunLoop::adoptCurrentThread();
        std::vector<Speaker> speakers;
        std::vector<std::shared_ptr<SoundObject>> sources;
        for (int i = 1; i <= itemCount; ++i) {
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
    ~RigOf() { view.reset(); }

    support::TempFolder folder;
    platform::UserDefaults defaults;
    Desk desk;
    std::shared_ptr<AppState> show;
    std::unique_ptr<ContentView> view;
    std::uint16_t port = 0;
    std::unique_ptr<Controller> controller;
};

using Rig = RigOf<ListeningDesk>;

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

// One of the usual set-value commands for item `n`, noted in `expected`.
Data usualCommand(int kind, int n, float a, float b, Expected& expected) {
    switch (kind) {
    case 0:
        expected.track[n] = Point{a, b};
        return OSCMessage("/sonavant/track/" + std::to_string(n), {OSCValue(a), OSCValue(b)}).rawData();
    case 1:
        expected.speakerPosition[n] = Point{a, b};
        return OSCMessage("/sonavant/speaker/position/", {OSCValue(n), OSCValue(a), OSCValue(b)}).rawData();
    case 2:
        expected.focus[n] = a;
        return OSCMessage("/sonavant/speaker/focus/", {OSCValue(n), OSCValue(a)}).rawData();
    default:
        expected.width[n] = a;
        return OSCMessage("/sonavant/speaker/width/", {OSCValue(n), OSCValue(a)}).rawData();
    }
}

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
            out.push_back(usualCommand(kind(random), n, a, b, expected));
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

// ---- The bundle flood ----------------------------------------------------------------------

// A desk that also notes when each level of source 1 on loudspeaker 1 arrives, and its value.
class ProbeDesk {
public:
    using Clock = ListeningDesk::Clock;

    std::uint16_t port() const { return desk_.port(); }
    bool waitFor(std::size_t count, Clock::duration timeout) const { return desk_.waitFor(count, timeout); }
    std::size_t count() const { return desk_.count(); }
    // The first probe level of `value` that arrived at or after `since`.
    std::optional<Clock::time_point> arrivalOf(float value, Clock::time_point since) const {
        std::lock_guard lock(mutex_);
        auto it = std::lower_bound(probeLevels_.begin(), probeLevels_.end(), since,
                                   [](const auto& entry, Clock::time_point t) { return entry.first < t; });
        for (; it != probeLevels_.end(); ++it)
            if (it->second == value)
                return it->first;
        return std::nullopt;
    }
    std::optional<float> lastProbeLevel() const {
        std::lock_guard lock(mutex_);
        return probeLevels_.empty() ? std::nullopt : std::optional(probeLevels_.back().second);
    }

private:
    void observe(const std::uint8_t* bytes, std::size_t size, Clock::time_point at) {
        try {
            OSCMessageView message;
            if (OSCMessageView::parse(ByteView(bytes, size), message) != OSCMessageView::Status::ok ||
                message.address() != "/ch/1/mix/1/level" || message.argumentCount() != 1 ||
                (*message.begin()).tag() != 'f')
                return;
            std::lock_guard lock(mutex_);
            probeLevels_.emplace_back(at, (*message.begin()).float32());
        } catch (const std::exception&) {
        }
    }

    mutable std::mutex mutex_;
    std::vector<std::pair<Clock::time_point, float>> probeLevels_;
    ListeningDesk desk_{[this](const std::uint8_t* bytes, std::size_t size, Clock::time_point at) {
        observe(bytes, size, at);
    }};
};

Data bundleOf(const std::vector<Data>& elements) {
    Data out(OSCBundle::header.begin(), OSCBundle::header.end());
    const std::uint8_t immediate[8] = {0, 0, 0, 0, 0, 0, 0, 1};
    out.insert(out.end(), immediate, immediate + 8);
    for (const auto& element : elements) {
        const std::uint32_t size = htonl(static_cast<std::uint32_t>(element.size()));
        const auto* p = reinterpret_cast<const std::uint8_t*>(&size);
        out.insert(out.end(), p, p + 4);
        out.insert(out.end(), element.begin(), element.end());
    }
    return out;
}

Data trackBytes(int n, float x, float y) {
    return OSCMessage("/sonavant/track/" + std::to_string(n), {OSCValue(x), OSCValue(y)}).rawData();
}

struct BundleFlood {
    std::vector<Data> datagrams;
    Expected expected;
    std::size_t messages = 0;
    std::size_t opening = 0; // datagrams before the closing commands
    Expected openingExpected;

    // The closing commands of a round: values no other round and no flood command uses.
    void close(int round) {
        datagrams.resize(opening);
        expected = openingExpected;
        for (int n = 2; n <= bundleItems; ++n) {
            const float a = 30.0f + static_cast<float>(round) + 0.125f * static_cast<float>(n);
            datagrams.push_back(trackBytes(n, a, -a));
            expected.track[n] = Point{a, -a};
            datagrams.push_back(OSCMessage("/sonavant/speaker/focus/", {OSCValue(n), OSCValue(a)}).rawData());
            expected.focus[n] = a;
            datagrams.push_back(
                OSCMessage("/sonavant/speaker/width/", {OSCValue(n), OSCValue(a + 1)}).rawData());
            expected.width[n] = a + 1;
        }
    }
};

BundleFlood bundleFlood() {
    constexpr int closing = 3 * (bundleItems - 1);
    std::mt19937 random(29);
    std::uniform_int_distribution<int> item(2, bundleItems), kind(0, 3), garbageKind(0, 1), length(1, 200),
        bundleSize(50, 1249), depth(1, 200), quarter(0, 3);
    std::uniform_real_distribution<float> value(-20.0f, 20.0f);
    std::uniform_int_distribution<int> byte(0, 255);
    BundleFlood flood;
    auto& out = flood.datagrams;
    auto& expected = flood.openingExpected;
    out.reserve(datagrams);
    auto reply = [](int i, int j) {
        return OSCMessage("/reply/cue/" + std::to_string(j % 97) + "/uniqueID",
                          {OSCValue("{\"data\":\"" + std::to_string(i) + "\"}")})
            .rawData();
    };
    for (int i = 0; i < datagrams - closing; ++i) {
        if (i % 50 == 25) {
            std::vector<Data> elements(static_cast<std::size_t>(bundleSize(random)));
            for (std::size_t j = 0; j < elements.size(); ++j) {
                if (quarter(random) != 0) {
                    elements[j] = reply(i, static_cast<int>(j));
                    continue;
                }
                const int n = item(random);
                const float a = value(random), b = value(random);
                elements[j] = trackBytes(n, a, b);
                expected.track[n] = Point{a, b};
            }
            flood.messages += elements.size();
            out.push_back(bundleOf(elements));
            continue;
        }
        if (i % 50 == 0) { // nested; deeper than the codec reads is dropped whole
            Data inner = reply(i, 0);
            for (int d = depth(random); d > 0; --d)
                inner = bundleOf({inner});
            ++flood.messages;
            out.push_back(std::move(inner));
            continue;
        }
        if (i % 50 == 10) { // cut short: its tracks are overwritten by the closing commands
            Data bytes = bundleOf({trackBytes(item(random), 1, 2), trackBytes(item(random), 3, 4)});
            bytes.resize(bytes.size() - 5);
            out.push_back(std::move(bytes));
            continue;
        }
        if (i % 2 == 0) {
            const int n = item(random);
            const float a = value(random), b = value(random);
            ++flood.messages;
            out.push_back(usualCommand(kind(random), n, a, b, expected));
            continue;
        }
        if (garbageKind(random) == 0) {
            Data bytes(static_cast<std::size_t>(length(random)));
            for (auto& b : bytes)
                b = static_cast<std::uint8_t>(byte(random));
            out.push_back(std::move(bytes));
        } else {
            ++flood.messages;
            out.push_back(OSCMessage("/nobody/listens/" + std::to_string(i), {OSCValue(i)}).rawData());
        }
    }
    flood.opening = out.size();
    flood.messages += closing;
    flood.close(0);
    return flood;
}

// rate 0: as fast as one thread sends, three rounds; else that many datagrams a second, two
// rounds, with the track probe measured meanwhile. Figures are the worst round's.
void BM_BundleFlood(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const int rounds = rate == 0 ? 3 : 2;
    ConsoleToFile console;
    RigOf<ProbeDesk> rig(bundleItems);
    BundleFlood flood = bundleFlood();
    // The probe's two places and their levels on loudspeaker 1, learnt before the load.
    const float probeX[2] = {1.0f, 2.5f};
    float probeLevel[2] = {NAN, NAN};
    for (int k = 0; k < 4; ++k) {
        rig.controller->send(trackBytes(1, probeX[k % 2], 1.0f));
        platform::MainRunLoop::runFor(100ms);
        if (auto level = rig.desk.lastProbeLevel())
            probeLevel[k % 2] = *level;
    }
    if (!(probeLevel[0] != probeLevel[1])) {
        state.SkipWithError("the probe's two places give no distinct levels");
        return;
    }
    double worstLastMs = 0, worstGrowth = 0, sendSeconds = 0;
    long drops = 0;
    int exactRounds = 0;
    const std::size_t deskBefore = rig.desk.count();
    std::vector<double> probes;
    std::int64_t probesLost = 0;
    int probeIndex = 0;
    for (auto _ : state) {
        for (int round = 1; round <= rounds; ++round) {
            flood.close(round);
            const double before = residentMB();
            double peak = before;
            const long dropsBefore = kernelDrops(rig.port);
            std::atomic<bool> sent{false};
            Clock::time_point lastSent;
            std::optional<Clock::time_point> heldAt;
            const auto start = Clock::now();
            std::thread sender([&] {
                pthread_setname_np(pthread_self(), "flood-sender");
                const auto spacing = rate ? std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(1.0 / rate))
                                          : Clock::duration::zero();
                for (std::size_t i = 0; i < flood.datagrams.size(); ++i) {
                    if (rate)
                        std::this_thread::sleep_until(start + spacing * static_cast<long>(i));
                    rig.controller->send(flood.datagrams[i]);
                }
                lastSent = Clock::now();
                sent = true;
            });
            auto check = [&] {
                peak = std::max(peak, residentMB());
                if (!heldAt && sent && flood.expected.heldBy(*rig.show))
                    heldAt = Clock::now();
                return heldAt.has_value();
            };
            while (rate && !sent) {
                const int k = probeIndex++ % 2;
                const auto sentAt = Clock::now();
                rig.controller->send(trackBytes(1, probeX[k], 1.0f));
                std::optional<Clock::time_point> arrived;
                platform::MainRunLoop::runUntil(
                    [&] {
                        check();
                        arrived = rig.desk.arrivalOf(probeLevel[k], sentAt);
                        return arrived.has_value();
                    },
                    2s);
                if (arrived)
                    probes.push_back(ms(*arrived - sentAt - 10ms));
                else
                    ++probesLost;
                platform::MainRunLoop::runUntil([&] { return check() && false; }, 5ms);
            }
            platform::MainRunLoop::runUntil(check, 30s);
            sender.join();
            sendSeconds = std::max(sendSeconds, std::chrono::duration<double>(lastSent - start).count());
            if (heldAt) {
                ++exactRounds;
                worstLastMs = std::max(worstLastMs, std::max(0.0, ms(*heldAt - lastSent)));
            } else {
                worstLastMs = 30'000;
            }
            platform::MainRunLoop::runFor(200ms);
            peak = std::max(peak, residentMB());
            worstGrowth = std::max(worstGrowth, peak - before);
            drops += kernelDrops(rig.port) - dropsBefore;
        }
    }
    state.counters["last_command_ms"] = worstLastMs;
    state.counters["rss_growth_mb"] = worstGrowth;
    state.counters["kernel_drops"] = static_cast<double>(drops);
    state.counters["exact_rounds"] = exactRounds;
    state.counters["rounds"] = rounds;
    state.counters["messages"] = static_cast<double>(flood.messages);
    state.counters["send_s"] = sendSeconds;
    state.counters["desk_datagrams"] = static_cast<double>(rig.desk.count() - deskBefore);
    if (rate) {
        state.counters["probe_p50_ms"] = benchsupport::percentile(probes, 0.50);
        state.counters["probe_p99_ms"] = benchsupport::percentile(probes, 0.99);
        state.counters["probe_max_ms"] =
            probes.empty() ? NAN : *std::max_element(probes.begin(), probes.end());
        state.counters["probes"] = static_cast<double>(probes.size());
        state.counters["probes_lost"] = static_cast<double>(probesLost);
    }
}

// How long the largest bundle of the mix (1,249 messages, three quarters unawaited replies,
// a quarter track commands) holds the serial receive queue: what a probe queued behind it
// waits at most there. Arg 1 reads the messages in place, 0 decodes each in full. The
// commands go to a remote-command queue as the main view's callbacks put them.
void BM_LargestBundleOnReceiveQueue(benchmark::State& state) {
    ConsoleToFile console;
    auto receiver = OSCReceiver::make(0);
    if (state.range(0) == 0)
        receiver->oscServer()->setViewHandler(nullptr);
    RemoteCommandQueue commands;
    receiver->onTrackPosition = [&commands](std::int64_t n, double x, double y) {
        commands.push(
            {RemoteCommandQueue::Key{RemoteCommandQueue::SetValue::trackPosition, n}, nullptr, {x, y}});
    };
    std::vector<Data> elements(1249);
    for (std::size_t j = 0; j < elements.size(); ++j)
        elements[j] = j % 4 == 0 ? trackBytes(2 + static_cast<int>(j % 7), 1.5f, -2.5f)
                                 : OSCMessage("/reply/cue/" + std::to_string(j % 97) + "/uniqueID",
                                              {OSCValue("{\"data\":\"" + std::to_string(j) + "\"}")})
                                       .rawData();
    const Data bundle = bundleOf(elements);
    for (auto _ : state) {
        receiver->oscServer()->handleDatagram(bundle);
        benchmark::DoNotOptimize(commands.takeAll());
    }
    state.counters["s_per_message"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(elements.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}

} // namespace

BENCHMARK(BM_RemoteFlood)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackToLevelLatencyToFile)->Iterations(300)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BundleFlood)
    ->Arg(0)
    ->Arg(20'000)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_LargestBundleOnReceiveQueue)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
