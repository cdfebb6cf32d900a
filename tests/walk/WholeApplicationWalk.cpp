// The built application as an operator starts it: its own program under a bare X server,
// driven by xdotool's real input events, with a fresh home whose working state points the
// desk at 127.0.0.1 and a fake desk listening on loopback. It walks the roads between the
// windows (choose a desk, set the port in Settings, add, drag, undo, redo, draw a path, save,
// close, start again, open, crash, change a loudspeaker's channel, move the desk to another
// port, a TCP desk too) and checks what reaches the desk and what the show files hold.
//
// Run under xvfb-run; the application's program comes from SONAVANT_APP. Every wait has a
// deadline; every step leaves a screenshot in SONAVANT_SCREENSHOT_DIR.

#include "Sonavant/cues/PathCue.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/model/MixingDeskRoot.h"
#include "platform/Files.h"
#include "platform/Serialization.h"
#include "platform/UserDefaults.h"
#include "support/Eventually.h"
#include "support/ProgramEnvironment.h"
#include "tools/FakeDesk.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// Polls every 50 ms until `condition` holds or the deadline passes.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    return support::eventually(condition, timeout, 50ms);
}

// Runs a command and returns what it printed (our own fixed command lines only).
std::string run(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

void xdo(const std::string& arguments) {
    run("xdotool " + arguments + " 2>/dev/null");
}

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    int centreX() const { return x + width / 2; }
};

std::vector<std::string> visibleWindows(const std::string& namePattern) {
    std::istringstream lines(run("xdotool search --onlyvisible --name '" + namePattern + "' 2>/dev/null"));
    std::vector<std::string> ids;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            ids.push_back(line);
    return ids;
}

Rect geometry(const std::string& window) {
    std::istringstream lines(run("xdotool getwindowgeometry --shell " + window + " 2>/dev/null"));
    std::map<std::string, int> values;
    for (std::string line; std::getline(lines, line);)
        if (auto eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    return {values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
}

// The largest visible window whose name matches: menus and tool tips share the main
// window's name but are small.
std::optional<std::pair<std::string, Rect>> largestWindow(const std::string& namePattern) {
    std::optional<std::pair<std::string, Rect>> best;
    for (const auto& id : visibleWindows(namePattern)) {
        const Rect r = geometry(id);
        if (!best || r.width * r.height > best->second.width * best->second.height)
            best = std::pair{id, r};
    }
    return best;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    auto cookie = xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

// What a window manager sends when the close button is pressed. The request is checked: the
// server answers before the connection ends, so it cannot be dropped with the connection.
bool askWindowToClose(const std::string& window) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(std::stoul(window));
    event.type = internAtom(connection, "WM_PROTOCOLS");
    event.data.data32[0] = internAtom(connection, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t cookie = xcb_send_event_checked(
        connection, 0, event.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_generic_error_t* error = xcb_request_check(connection, cookie);
    const bool sent = error == nullptr && !xcb_connection_has_error(connection);
    std::free(error);
    xcb_disconnect(connection);
    return sent;
}

// The windows of process `pid` the server shows now (Qt names the process of each of its
// windows in _NET_WM_PID): main window, menus, dialogs, alerts. Its unmapped helper windows
// are left out.
std::vector<std::pair<std::string, Rect>> viewableWindowsOf(pid_t pid) {
    std::vector<std::pair<std::string, Rect>> shown;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return shown;
    }
    const xcb_atom_t pidAtom = internAtom(connection, "_NET_WM_PID");
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    if (auto* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr)) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            const xcb_window_t window = children[i];
            auto* attributes = xcb_get_window_attributes_reply(
                connection, xcb_get_window_attributes(connection, window), nullptr);
            const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(attributes);
            if (!viewable)
                continue;
            auto* property = xcb_get_property_reply(
                connection, xcb_get_property(connection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1),
                nullptr);
            const bool ours =
                property && property->format == 32 && xcb_get_property_value_length(property) == 4 &&
                *static_cast<const std::uint32_t*>(xcb_get_property_value(property)) == std::uint32_t(pid);
            std::free(property);
            if (!ours)
                continue;
            if (auto* place =
                    xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr)) {
                shown.push_back(
                    {std::to_string(window), Rect{place->x, place->y, place->width, place->height}});
                std::free(place);
            }
        }
        std::free(tree);
    }
    xcb_disconnect(connection);
    return shown;
}

QImage grabScreen() {
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

// The canvas is the one black area of the main window: the bounding box of its black pixels.
Rect canvasIn(const QImage& screen, const Rect& window) {
    int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
    const int x1 = std::min(window.x + window.width, screen.width());
    const int y1 = std::min(window.y + window.height, screen.height());
    for (int y = std::max(window.y, 0); y < y1; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        for (int x = std::max(window.x, 0); x < x1; ++x)
            if ((row[x] & 0xFFFFFF) == 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    if (right < 0)
        return {};
    return {left, top, right - left + 1, bottom - top + 1};
}

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A text the application keeps in its working state.
std::optional<std::string> workingStateText(const fs::path& plist, const std::string& key) {
    auto text = readFile(plist);
    if (!text)
        return std::nullopt;
    try {
        const platform::Value* stored = platform::readPropertyList(*text).find(key);
        const std::string* value = stored ? stored->asText() : nullptr;
        return value ? std::optional(*value) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt; // written while we read: the next poll sees it whole
    }
}

// A value the application keeps in its working state as JSON bytes.
std::optional<platform::Value> workingStateJSON(const fs::path& plist, const std::string& key) {
    auto text = readFile(plist);
    if (!text)
        return std::nullopt;
    try {
        const platform::Value root = platform::readPropertyList(*text);
        const platform::Value* stored = root.find(key);
        const platform::Bytes* bytes = stored ? stored->asData() : nullptr;
        if (!bytes)
            return std::nullopt;
        return platform::readJSON(std::string(bytes->begin(), bytes->end()));
    } catch (const std::exception&) {
        return std::nullopt; // written while we read: the next poll sees it whole
    }
}

std::vector<std::shared_ptr<PathCue>> workingStateCues(const fs::path& plist) {
    auto value = workingStateJSON(plist, "savedPathCues");
    if (!value)
        return {};
    try {
        return platform::decodeValue<std::vector<std::shared_ptr<PathCue>>>(*value, "savedPathCues");
    } catch (const std::exception&) {
        return {};
    }
}

bool near(Point a, Point b, double tolerance) {
    return std::hypot(a.x - b.x, a.y - b.y) <= tolerance;
}

std::string text(Point p) {
    std::ostringstream out;
    out << "(" << p.x << ", " << p.y << ")";
    return out.str();
}

// The items of a show by what the operator made: ids and metres.
struct ShowItems {
    std::map<std::int64_t, Point> speakers;
    std::map<std::string, Point> sources;
    std::vector<std::shared_ptr<PathCue>> cues;
};

ShowItems itemsOf(const AppState& show) {
    ShowItems items;
    for (const auto& speaker : show.speakers.get())
        items.speakers[speaker.id] = speaker.positionMeters;
    for (const auto& source : show.soundObjects.get())
        items.sources[source->id.string()] = source->positionMeters.get();
    items.cues = show.pathCues.get();
    return items;
}

// The last gain the desk holds for each of input 1's matrix nodes.
using Gains = std::map<std::string, float>;
Gains inputOneGains(const FakeDesk& desk) {
    Gains gains;
    for (const auto& message : desk.messages()) {
        const std::string address(message.addressPattern().rawAddress());
        if (address.rfind("/dbaudio1/matrixnode/gain/1/", 0) != 0 || message.values().empty())
            continue;
        if (auto value = message.values()[0].as<float>())
            gains[address] = *value;
    }
    return gains;
}

// The desk's last gains once two outputs have theirs, every one differs from `before`'s, and
// nothing has changed for half a second: the throttle and the stagger hold sends back by some
// tens of milliseconds. Nothing is cleared: the desk's last value per address counts.
std::optional<Gains> settledGains(const FakeDesk& desk, const Gains& before = {}) {
    Gains last;
    auto since = Clock::now();
    auto allChanged = [&] {
        return std::all_of(last.begin(), last.end(), [&](const auto& gain) {
            const auto it = before.find(gain.first);
            return it == before.end() || it->second != gain.second;
        });
    };
    const bool settled = waitUntil(
        [&] {
            Gains now = inputOneGains(desk);
            if (now != last) {
                last = std::move(now);
                since = Clock::now();
            }
            return last.size() == 2 && allChanged() && Clock::now() - since >= 500ms;
        },
        10s);
    return settled ? std::optional(last) : std::nullopt;
}

// An output's disc is orange.
bool orange(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) > 100 && qGreen(pixel) < 200 && qBlue(pixel) < 80;
}

// The middle of an output's disc on the canvas, away from `elsewhere`: the disc's top-most
// orange pixel, a radius down. Where discs overlap, the click there still takes one of them.
std::optional<std::pair<int, int>> outputDisc(const QImage& screen, const Rect& canvas,
                                              const std::vector<std::pair<int, int>>& elsewhere) {
    for (int y = canvas.y; y < canvas.y + canvas.height && y < screen.height(); ++y)
        for (int x = canvas.x; x < canvas.x + canvas.width && x < screen.width(); ++x) {
            if (!orange(screen.pixel(x, y)))
                continue;
            const bool known = std::any_of(elsewhere.begin(), elsewhere.end(), [&](const auto& place) {
                return std::abs(place.first - x) < 40 && std::abs(place.second - y) < 40;
            });
            // A disc's top, not an edge or a mark drawn around one: its body lies below.
            if (!known && y + 12 < screen.height() && x >= 8 && x + 8 < screen.width() &&
                orange(screen.pixel(x - 8, y + 12)) && orange(screen.pixel(x + 8, y + 12)))
                return std::pair{x, y + 12};
        }
    return std::nullopt;
}

bool outputAt(const QImage& screen, int x, int y) {
    return orange(screen.pixel(x - 8, y)) || orange(screen.pixel(x + 8, y));
}

// An input's disc is blue; the point is left of its middle, clear of its number.
bool inputBlueAt(const QImage& screen, int x, int y) {
    const QRgb pixel = screen.pixel(x - 8, y);
    return qBlue(pixel) > 180 && qRed(pixel) < 80;
}

std::string text(const Gains& gains) {
    std::ostringstream out;
    for (const auto& [address, gain] : gains)
        out << address << " " << gain << "; ";
    return out.str();
}

void expectSameItems(const ShowItems& expected, const ShowItems& actual, const std::string& where) {
    ASSERT_EQ(expected.speakers.size(), actual.speakers.size()) << where;
    for (const auto& [id, metres] : expected.speakers) {
        ASSERT_TRUE(actual.speakers.count(id)) << where << ": loudspeaker " << id << " is gone";
        EXPECT_TRUE(near(actual.speakers.at(id), metres, 1e-6))
            << where << ": loudspeaker " << id << " at " << text(actual.speakers.at(id)) << ", not "
            << text(metres);
    }
    ASSERT_EQ(expected.sources.size(), actual.sources.size()) << where;
    for (const auto& [id, metres] : expected.sources) {
        ASSERT_TRUE(actual.sources.count(id)) << where << ": input " << id << " is gone";
        EXPECT_TRUE(near(actual.sources.at(id), metres, 1e-6))
            << where << ": input " << id << " at " << text(actual.sources.at(id)) << ", not " << text(metres);
    }
}

void expectSameCue(const PathCue& expected, const std::vector<std::shared_ptr<PathCue>>& cues,
                   const std::string& where) {
    auto it =
        std::find_if(cues.begin(), cues.end(), [&](const auto& c) { return c && c->id == expected.id; });
    ASSERT_TRUE(it != cues.end()) << where << ": the path cue \"" << expected.name << "\" is not there ("
                                  << cues.size() << " cues)";
    const PathCue& cue = **it;
    EXPECT_EQ(cue.name, expected.name) << where;
    EXPECT_EQ(cue.number, expected.number) << where;
    EXPECT_EQ(cue.soundObjectIDs, expected.soundObjectIDs) << where;
    ASSERT_EQ(cue.nodesMeters.size(), expected.nodesMeters.size()) << where;
    for (std::size_t i = 0; i < cue.nodesMeters.size(); ++i)
        EXPECT_TRUE(near(cue.nodesMeters[i], expected.nodesMeters[i], 1e-6)) << where << ": node " << i;
}

// The application's program, started with the walk's home and stopped by its own pid.
class Application {
public:
    Application(fs::path program, fs::path home, fs::path log, std::vector<std::string> extraEnvironment = {})
        : program_(program), home_(home), log_(log), extraEnvironment_(std::move(extraEnvironment)) {}
    ~Application() { kill(); }

    bool start() {
        std::vector<std::string> env = support::programEnvironment(home_, "xcb", extraEnvironment_);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, home_.c_str());
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        std::string path = program_.string();
        char* argv[] = {path.data(), nullptr};
        const int error = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            pid_ = -1;
        return pid_ > 0;
    }

    bool running() {
        if (pid_ <= 0)
            return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exitStatus_ = status;
            pid_ = -1;
            return false;
        }
        return true;
    }

    // True when it ended by itself before the deadline.
    bool waitForExit(std::chrono::milliseconds timeout) {
        return waitUntil([&] { return !running(); }, timeout);
    }
    pid_t pid() const { return pid_; }
    // The exit code of a program that ended by itself; -1 after a signal.
    int exitCode() const { return exitStatus_ && WIFEXITED(*exitStatus_) ? WEXITSTATUS(*exitStatus_) : -1; }

    // As a crash ends it: no chance to write anything.
    void killOutright() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    void kill() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        if (!waitUntil([&] { return !running(); }, 5s)) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    fs::path program_, home_, log_;
    std::vector<std::string> extraEnvironment_;
    pid_t pid_ = -1;
    std::optional<int> exitStatus_;
};

class WholeApplicationWalk : public ::testing::Test {
protected:
    void SetUp() override {
        const char* program = std::getenv("SONAVANT_APP");
        ASSERT_TRUE(program && fs::exists(program)) << "SONAVANT_APP names no program";
        program_ = program;
        const char* shots = std::getenv("SONAVANT_SCREENSHOT_DIR");
        shots_ = shots && *shots ? fs::path(shots) : fs::path("screenshots");
        fs::create_directories(shots_);

        std::string pattern = (fs::temp_directory_path() / "sonavant-walk-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        home_ = pattern;
        for (const char* sub : {"config/Sonavant", "data", "cache", "runtime", "shows", "driver"})
            fs::create_directories(home_ / sub);
        fs::permissions(home_ / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        workingState_ = home_ / "config" / "Sonavant" / "Sonavant.plist";

        // The working state before the first start: the desk at loopback (a fresh home would
        // say 192.168.0.2), the zero point in the canvas's middle, the window where the walk
        // expects it and large enough for every part of the main view.
        platform::UserDefaults defaults(home_ / "config" / "Sonavant");
        defaults.set("savedTargetDeskIP", std::string("127.0.0.1"));
        defaults.set("savedZeroPointPosition", std::string("Center"));
        defaults.set("NSWindow Frame MainWindow", std::string("{{0, 0}, {1400, 900}}"));
        ASSERT_TRUE(defaults.synchronize());
    }

    void TearDown() override {
        app_.reset();
        if (!HasFailure()) {
            std::error_code ignored;
            fs::remove_all(home_, ignored);
        } else {
            std::cerr << "The walk's home is kept for a look: " << home_ << "\n";
        }
    }

    void startApplication(std::vector<std::string> extraEnvironment = {}) {
        app_ = std::make_unique<Application>(program_, home_, home_ / "application.log",
                                             std::move(extraEnvironment));
        ASSERT_TRUE(app_->start());
        // The splash shows first, in the same window; the main view's black canvas follows.
        ASSERT_TRUE(waitUntil(
            [&] {
                auto found = largestWindow("^Sonavant$");
                if (!found || found->second.width < 800)
                    return false;
                window_ = found->first;
                frame_ = found->second;
                canvas_ = canvasIn(grabScreen(), frame_);
                // The splash is black from the menu bar down; the canvas has the top bar
                // above it and the tool row below.
                return canvas_.width > 400 && canvas_.height > 300 && canvas_.y > frame_.y + 40 &&
                       canvas_.y + canvas_.height < frame_.y + frame_.height - 30;
            },
            30s))
            << "the main view never showed";
        EXPECT_EQ(frame_.x, 0);
        EXPECT_EQ(frame_.y, 0);
        // The canvas may still settle in its layout: wait until it stops changing.
        Rect last{};
        ASSERT_TRUE(waitUntil(
            [&] {
                last = canvas_;
                std::this_thread::sleep_for(100ms);
                canvas_ = canvasIn(grabScreen(), frame_);
                return canvas_.x == last.x && canvas_.y == last.y && canvas_.width == last.width &&
                       canvas_.height == last.height;
            },
            10s));
    }

    void screenshot(const std::string& name) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "%s-%02d-", shotPrefix_, ++shot_);
        grabScreen().save(QString::fromStdString((shots_ / (prefix + name + ".png")).string()));
    }

    // Shortcuts apply in the active window only. With no window manager to give the focus,
    // the walk gives it as one would when the window is clicked.
    void activateMainWindow() {
        xdo("mousemove " + std::to_string(canvas_.centreX()) + " " + std::to_string(canvas_.y + 20));
        xdo("windowfocus " + window_);
    }

    // The program's shown windows other than the main window (menus, dialogs, alerts).
    std::vector<std::pair<std::string, Rect>> otherWindows() {
        auto shown = viewableWindowsOf(app_->pid());
        std::erase_if(shown, [&](const auto& w) { return w.first == window_; });
        return shown;
    }

    // Opens the n-th menu of the menu bar (0 is the application menu) from the keyboard and
    // chooses its k-th item (0 is the first).
    void chooseFromMenu(int menu, int item) {
        xdo("mousemove " + std::to_string(canvas_.centreX()) + " " + std::to_string(canvas_.y + 20));
        xdo("key alt");
        std::string keys = "key";
        for (int i = 0; i < menu; ++i)
            keys += " Right";
        xdo(keys + " Down");
        const bool open = waitUntil([&] { return !otherWindows().empty(); }, 10s);
        if (!open)
            screenshot("menu-not-open");
        ASSERT_TRUE(open) << "menu " << menu << " did not open";
        keys = "key";
        for (int i = 0; i < item; ++i)
            keys += " Down";
        xdo(keys + " Return");
        ASSERT_TRUE(waitUntil([&] { return otherWindows().empty(); }, 10s))
            << "menu " << menu << " stayed open";
    }

    std::optional<std::pair<std::string, Rect>> waitForWindow(const std::string& namePattern) {
        std::optional<std::pair<std::string, Rect>> found;
        waitUntil([&] { return (found = largestWindow(namePattern)).has_value(); }, 10s);
        return found;
    }

    // Settings, Network page: the desk address when one is given, then the desk port typed
    // with `keyDelay` milliseconds between keys; the window closed with its button.
    void typeDeskInSettings(const std::string& address, const std::string& port, int keyDelay,
                            const std::string& shot) {
        activateMainWindow();
        xdo("key ctrl+comma");
        auto settings = waitForWindow("^Settings$");
        ASSERT_TRUE(settings) << "no settings window";
        const Rect s = settings->second;
        // The section list's first row, then one row down; the page's first fields follow it
        // in the focus chain: the desk address, then the desk port.
        xdo("mousemove " + point(s.x + 60, s.y + 22) + " click 1");
        xdo("key Down Tab Tab ctrl+a");
        if (!address.empty())
            xdo("type --delay 5 '" + address + "'");
        xdo("key Tab ctrl+a");
        xdo("type --delay " + std::to_string(keyDelay) + " '" + port + "'");
        screenshot(shot);
        xdo("mousemove " + point(s.x + s.width - 40, s.y + s.height - 26) + " click 1");
        ASSERT_TRUE(waitUntil([&] { return visibleWindows("^Settings$").empty(); }, 5s))
            << "Settings stayed open";
    }

    // Types a path into Qt's own file dialog (its name field has the focus) and accepts it.
    void answerFileDialog(const std::string& title, const fs::path& path) {
        auto dialog = waitForWindow("^" + title + "$");
        ASSERT_TRUE(dialog) << "no \"" << title << "\" dialog";
        const Rect r = dialog->second;
        xdo("mousemove " + std::to_string(r.centreX()) + " " + std::to_string(r.y + 10));
        xdo("key ctrl+a");
        xdo("type --delay 5 '" + path.string() + "'");
        screenshot(title == "Save As..." ? "save-as-dialog" : "open-dialog");
        const QImage shown = grabScreen().copy(r.x, r.y, r.width, r.height);
        xdo("key Return");
        ASSERT_TRUE(waitUntil([&] { return visibleWindows("^" + title + "$").empty(); }, 10s))
            << "the \"" << title << "\" dialog stayed open";
        // Until the window under it has painted that part again, the screen still shows it.
        ASSERT_TRUE(waitUntil([&] { return grabScreen().copy(r.x, r.y, r.width, r.height) != shown; }, 10s));
    }

    // Closes the main window as its close button would, once; the application ends with it.
    // Anything else of the program still showing (an alert would hold the close back) is a
    // finding: whatever is merely going away (a menu, a tool tip) has a moment to go.
    void closeMainWindow() {
        activateMainWindow();
        if (!waitUntil([&] { return otherWindows().empty(); }, 3s)) {
            screenshot("window-before-close");
            std::string names;
            for (const auto& [id, r] : otherWindows())
                names += " " + id + " (" + std::to_string(r.width) + "x" + std::to_string(r.height) + ")";
            FAIL() << "before the close, windows other than the main window show:" << names;
        }
        ASSERT_TRUE(askWindowToClose(window_)) << "the close request did not reach the X server";
        const bool ended = app_->waitForExit(20s);
        if (!ended)
            screenshot("close-not-heard");
        ASSERT_TRUE(ended) << "the application did not end on closing its window";
        EXPECT_EQ(app_->exitCode(), 0);
    }

    std::string point(int x, int y) { return std::to_string(x) + " " + std::to_string(y); }

    // The shipped desks with the DS100 matrix and QLab listening on fake desks; the setting
    // that makes the program read them.
    std::string desksListeningAt(std::uint16_t matrixPort, std::uint16_t qlabPort, std::uint16_t cl5Port) {
        MixingDeskRoot root = MixingDeskRoot::readFile(*mixingDesksResourcePath());
        for (auto& d : root.mixingDesks) {
            if (d.displayName == "D&B DS100 Matrix")
                d.defaultPort = matrixPort;
            if (d.displayName == "QLab 5")
                d.defaultPort = qlabPort;
            if (d.displayName == "Yamaha CL5 (TCP)")
                d.defaultPort = cl5Port;
        }
        const fs::path folder = home_ / "desks";
        fs::create_directories(folder);
        platform::writeFileAtomically(folder / std::string(mixingDesksFileName),
                                      platform::writePropertyList(root.encode()));
        return "SONAVANT_RESOURCE_DIR=" + folder.string();
    }

    std::shared_ptr<AppState> readShow(const fs::path& file) {
        platform::UserDefaults driverDefaults(home_ / "driver");
        AppStatePersistence reader(home_ / "driver", driverDefaults);
        return reader.loadState(file);
    }

    fs::path program_, shots_, home_, workingState_;
    std::unique_ptr<Application> app_;
    std::string window_;
    Rect frame_, canvas_;
    int shot_ = 0;
    const char* shotPrefix_ = "walk";          // each test's screenshots apart
    std::vector<std::pair<int, int>> outputs_; // where the walk put the outputs
};

TEST_F(WholeApplicationWalk, BuildSaveCloseStartAgainAndOpen) {
    FakeDesk desk(false);
    FakeDesk qlab(false); // QLab listens elsewhere
    ASSERT_NE(desk.udpPort(), 0);
    const std::string desks = desksListeningAt(desk.udpPort(), qlab.udpPort(), 0);
    const fs::path saved = home_ / "shows" / "walk.sonavant";
    const fs::path savedAgain = home_ / "shows" / "walk-reopened.sonavant";

    ASSERT_NO_FATAL_FAILURE(startApplication({desks}));
    screenshot("first-start");

    // Choose the DS100 matrix desk (a UDP desk sending one level per input and output): the
    // desk menu is the top bar's first button.
    xdo("mousemove " + point(canvas_.x + 40, canvas_.y - 20) + " click 1");
    const bool deskMenuOpen = waitUntil([&] { return !otherWindows().empty(); }, 10s);
    if (!deskMenuOpen)
        screenshot("no-desk-menu");
    ASSERT_TRUE(deskMenuOpen) << "no desk menu";
    screenshot("desk-menu");
    xdo("key Down Down Down Return");
    ASSERT_TRUE(waitUntil(
        [&] {
            auto value = workingStateJSON(workingState_, "savedSelectedDesk");
            if (!value)
                return false;
            const platform::Value* name = value ? value->find("displayName") : nullptr;
            return name && name->asText() && *name->asText() == "D&B DS100 Matrix";
        },
        10s))
        << "the desk was not chosen";

    // Settings, Network page: the desk port (choosing a desk set its default port).
    ASSERT_NO_FATAL_FAILURE(
        typeDeskInSettings("127.0.0.1", std::to_string(desk.udpPort()), 5, "settings-desk-port"));

    // Tools › "Add Output" twice (one output alone takes every input's whole share under
    // constant power, whatever the distance), Tools › "Add Input": the new input is
    // selected, and "Zero Selected" puts it on the zero point in the middle of the canvas.
    ASSERT_NO_FATAL_FAILURE(chooseFromMenu(4, 0));
    ASSERT_NO_FATAL_FAILURE(chooseFromMenu(4, 0));
    // They land at random: each goes where it is in range (5 m) of both places of the input
    // below, at (-2.5, 0) m and (1.5, -1.5) m, off the path drawn later, so the drag changes
    // both levels.
    const int zx = canvas_.x + canvas_.width / 2, zy = canvas_.y + canvas_.height / 2;
    outputs_ = {{zx - 250, zy}, {zx + 150, zy + 150}};
    std::optional<std::pair<int, int>> firstOutput, secondOutput;
    ASSERT_TRUE(
        waitUntil([&] { return (firstOutput = outputDisc(grabScreen(), canvas_, {})).has_value(); }, 10s))
        << "no output on the canvas";
    secondOutput = outputDisc(grabScreen(), canvas_, {*firstOutput}); // none while the two overlap
    // The one moved first must not land on the other.
    if (secondOutput && std::abs(secondOutput->first - outputs_[0].first) < 40 &&
        std::abs(secondOutput->second - outputs_[0].second) < 40)
        std::swap(outputs_[0], outputs_[1]);
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
        const auto [tx, ty] = outputs_[i];
        std::optional<std::pair<int, int>> from = firstOutput;
        if (i > 0) {
            ASSERT_TRUE(waitUntil(
                [&] { return (from = outputDisc(grabScreen(), canvas_, {outputs_[0]})).has_value(); }, 10s))
                << "the second output is not on the canvas";
        }
        std::string move = "mousemove " + point(from->first, from->second) + " mousedown 1";
        for (int step = 1; step <= 10; ++step)
            move += " mousemove " + point(from->first + (tx - from->first) * step / 10,
                                          from->second + (ty - from->second) * step / 10);
        xdo(move + " mouseup 1");
        const bool placed = waitUntil([&] { return outputAt(grabScreen(), tx, ty); }, 10s);
        if (!placed)
            screenshot("output-not-placed");
        ASSERT_TRUE(placed) << "the output at " << point(from->first, from->second) << " was not dragged to "
                            << point(tx, ty);
    }
    screenshot("outputs-placed");
    ASSERT_NO_FATAL_FAILURE(chooseFromMenu(4, 1));
    ASSERT_TRUE(desk.waitForDatagrams(1, 10s)) << "no level reached the desk after \"Add Input\"";
    screenshot("output-and-input-added");
    activateMainWindow();
    xdo("key ctrl+0");

    // Drag the input 150 points right and 100 up: (1.5, 1) m at zoom 100.
    ASSERT_TRUE(waitUntil([&] { return inputBlueAt(grabScreen(), zx, zy); }, 10s))
        << "\"Zero Selected\" did not bring the input to the zero point";
    screenshot("input-at-zero-point");
    const auto atZero = settledGains(desk);
    ASSERT_TRUE(atZero) << "the levels at the zero point did not settle: " << text(inputOneGains(desk));
    std::string drag = "mousemove " + point(zx, zy) + " mousedown 1";
    for (int i = 1; i <= 10; ++i)
        drag += " mousemove " + point(zx + 15 * i, zy - 10 * i);
    xdo(drag + " mouseup 1");
    const bool moved = waitUntil([&] { return inputBlueAt(grabScreen(), zx + 150, zy - 100); }, 10s);
    screenshot("input-dragged");
    ASSERT_TRUE(moved) << "the input is not drawn where it was dragged";
    const auto dragged = settledGains(desk, *atZero);
    ASSERT_TRUE(dragged) << "the levels after the drag did not settle or did not both change: "
                         << text(inputOneGains(desk)) << "at the zero point " << text(*atZero);

    // Edit › Undo takes the drag back, input and levels; Redo puts both where the drag left
    // them.
    activateMainWindow();
    xdo("key ctrl+z");
    EXPECT_TRUE(waitUntil([&] { return inputBlueAt(grabScreen(), zx, zy); }, 10s))
        << "Undo did not bring the input back to the zero point";
    EXPECT_TRUE(waitUntil([&] { return inputOneGains(desk) == *atZero; }, 10s))
        << "after Undo the desk holds " << text(inputOneGains(desk)) << "not " << text(*atZero);
    screenshot("drag-undone");
    xdo("key ctrl+shift+z");
    EXPECT_TRUE(waitUntil([&] { return inputBlueAt(grabScreen(), zx + 150, zy - 100); }, 10s))
        << "Redo did not bring the input back where it was dragged";
    EXPECT_TRUE(waitUntil([&] { return inputOneGains(desk) == *dragged; }, 10s))
        << "after Redo the desk holds " << text(inputOneGains(desk)) << "not " << text(*dragged);

    // Paths › "Draw Path" with the input selected: one stroke from it, left then down,
    // and a right click ends the path; its row appears at the head of the cue list.
    const Rect cueRows{canvas_.x + canvas_.width + 5, canvas_.y + 30, 280, 60};
    const QImage rowsBefore = grabScreen().copy(cueRows.x, cueRows.y, cueRows.width, cueRows.height);
    ASSERT_NO_FATAL_FAILURE(chooseFromMenu(5, 0));
    const int sx = zx + 150, sy = zy - 100;
    std::string stroke = "mousemove " + point(sx, sy) + " mousedown 1";
    for (int x = sx - 10; x >= sx - 300; x -= 10)
        stroke += " mousemove " + point(x, sy);
    for (int y = sy + 10; y <= sy + 200; y += 10)
        stroke += " mousemove " + point(sx - 300, y);
    xdo(stroke + " mouseup 1");
    screenshot("path-stroke");
    xdo("click 3");
    const bool rowShown = waitUntil(
        [&] { return grabScreen().copy(cueRows.x, cueRows.y, cueRows.width, cueRows.height) != rowsBefore; },
        10s);
    screenshot("path-drawn");
    ASSERT_TRUE(rowShown) << "no path cue row appeared";

    // File › "Save As...".
    activateMainWindow();
    xdo("key ctrl+shift+s");
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Save As...", saved));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(saved); }, 10s)) << "nothing was saved";

    // Close the window as its close button would: the application ends, and the working
    // state it leaves holds the drawn cue.
    ASSERT_NO_FATAL_FAILURE(closeMainWindow());
    const auto drawn = workingStateCues(workingState_);
    ASSERT_EQ(drawn.size(), 1u) << "the drawn path cue is not in the working state";
    const PathCue cue = *drawn.front();
    EXPECT_GE(cue.nodesMeters.size(), 3u);

    auto first = readShow(saved);
    ASSERT_TRUE(first) << "the saved show does not read back";
    const ShowItems made = itemsOf(*first);
    ASSERT_EQ(made.speakers.size(), 2u);
    ASSERT_EQ(made.sources.size(), 1u);
    EXPECT_TRUE(near(made.sources.begin()->second, {1.5, 1.0}, 0.02))
        << "the dragged input is at " << text(made.sources.begin()->second);
    EXPECT_EQ(cue.soundObjectIDs, std::vector{platform::UUID::parse(made.sources.begin()->first).value()});
    EXPECT_NO_FATAL_FAILURE(expectSameCue(cue, made.cues, "the saved show"));

    // Start again, "New Blank Canvas", "Open..." the saved show. The launch shows the chosen
    // desk in the top bar's desk button; "New Blank Canvas" picks another.
    // From here on the program's own autosave ticks every two seconds.
    const std::vector<std::string> shortAutosave{"SONAVANT_AUTOSAVE_INTERVAL=2", desks};
    ASSERT_NO_FATAL_FAILURE(startApplication(shortAutosave));
    screenshot("second-start");
    const Rect deskButton{canvas_.x, canvas_.y - 38, 180, 34};
    const QImage chosenDesk =
        grabScreen().copy(deskButton.x, deskButton.y, deskButton.width, deskButton.height);
    activateMainWindow();
    xdo("key ctrl+shift+n");
    ASSERT_TRUE(waitUntil(
        [&] {
            auto value = workingStateJSON(workingState_, "savedSoundObjects");
            const platform::ValueArray* list = value ? value->asArray() : nullptr;
            return list && list->empty();
        },
        10s))
        << "\"New Blank Canvas\" left the inputs";
    screenshot("new-blank-canvas");
    // QLab 5 from the desk menu, which sends to its own port: the show opened under it sends
    // to its own desk's port.
    xdo("mousemove " + point(canvas_.x + 40, canvas_.y - 20) + " click 1");
    ASSERT_TRUE(waitUntil([&] { return !otherWindows().empty(); }, 10s)) << "no desk menu";
    xdo("key Down Return");
    ASSERT_TRUE(waitUntil(
        [&] { return workingStateText(workingState_, "savedTargetPort") == std::to_string(qlab.udpPort()); },
        10s))
        << "QLab 5 was not chosen";
    activateMainWindow();
    xdo("key ctrl+o");
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Open...", saved));
    ASSERT_TRUE(waitUntil([&] { return inputBlueAt(grabScreen(), zx + 150, zy - 100); }, 10s))
        << "the input is not drawn at its metres after \"Open...\"";
    screenshot("show-opened");
    // The opened show's desk is the main view's: its name in the top bar again.
    EXPECT_TRUE(waitUntil(
        [&] {
            return grabScreen().copy(deskButton.x, deskButton.y, deskButton.width, deskButton.height) ==
                   chosenDesk;
        },
        10s))
        << "the top bar does not show \"D&B DS100 Matrix\" after \"Open...\"";

    // What the opened show holds, as the application writes it again.
    activateMainWindow();
    xdo("key ctrl+shift+s");
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Save As...", savedAgain));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(savedAgain); }, 10s)) << "the opened show was not saved";
    auto again = readShow(savedAgain);
    ASSERT_TRUE(again);
    const ShowItems reopened = itemsOf(*again);
    EXPECT_NO_FATAL_FAILURE(expectSameItems(made, reopened, "after \"Open...\""));
    EXPECT_NO_FATAL_FAILURE(expectSameCue(cue, reopened.cues, "after \"Open...\""));
    ASSERT_TRUE(again->selectedDesk->has_value()) << "the show saved after \"Open...\" has no desk";
    EXPECT_EQ(again->selectedDesk->value().displayName, "D&B DS100 Matrix");

    // A drag in the opened show reaches the desk: the input back to the zero point, both
    // levels away from those of the dragged place.
    const int dx = zx + 150, dy = zy - 100;
    std::string back = "mousemove " + point(dx, dy) + " mousedown 1";
    for (int i = 1; i <= 10; ++i)
        back += " mousemove " + point(dx - 15 * i, dy + 10 * i);
    xdo(back + " mouseup 1");
    ASSERT_TRUE(waitUntil([&] { return inputBlueAt(grabScreen(), zx, zy); }, 10s))
        << "the input is not drawn where it was dragged in the opened show";
    screenshot("opened-show-input-dragged");
    const auto draggedBack = settledGains(desk, *dragged);
    EXPECT_TRUE(draggedBack) << "no levels reached the desk for a drag in the opened show: "
                             << text(inputOneGains(desk));
    EXPECT_EQ(qlab.datagramCount(), 0u) << "the opened show sent to the port of the desk it was opened under";

    // A crash after that edit and one autosave tick: both the autosave and the working state
    // hold the input where it was dragged, the program is killed, and the next launch from the
    // same home gives back that show, items and cue.
    const fs::path autosave = home_ / "data" / "Sonavant" / "autosave.sonavant";
    auto atZeroPoint = [](const platform::Value& metres) {
        const platform::ValueArray* pair = metres.asArray();
        double sx = 0, sy = 0;
        const double* x = pair && pair->size() == 2 ? (*pair)[0].asNumber(sx) : nullptr;
        const double* y = pair && pair->size() == 2 ? (*pair)[1].asNumber(sy) : nullptr;
        return x && y && near({*x, *y}, {0, 0}, 0.05);
    };
    std::shared_ptr<AppState> ticked;
    const bool bothWritten = waitUntil(
        [&] {
            std::shared_ptr<AppState> show;
            try {
                show = fs::exists(autosave) ? readShow(autosave) : nullptr;
            } catch (const std::exception&) {
                return false;
            }
            if (!show || show->soundObjects.get().size() != 1 ||
                !near(show->soundObjects.get()[0]->positionMeters.get(), {0, 0}, 0.05))
                return false;
            auto sources = workingStateJSON(workingState_, "savedSoundObjects");
            const platform::ValueArray* list = sources ? sources->asArray() : nullptr;
            const platform::Value* metres =
                list && list->size() == 1 ? (*list)[0].find("positionMeters") : nullptr;
            if (!metres || !atZeroPoint(*metres))
                return false;
            ticked = show;
            return true;
        },
        20s);
    ASSERT_TRUE(bothWritten)
        << "no autosave tick wrote the dragged input to the autosave and the working state";
    const ShowItems beforeCrash = itemsOf(*ticked);
    app_->killOutright();
    ASSERT_NO_FATAL_FAILURE(startApplication(shortAutosave));
    screenshot("start-after-crash");
    EXPECT_TRUE(waitUntil([&] { return inputBlueAt(grabScreen(), zx, zy); }, 10s))
        << "after the crash the input is not drawn where it was dragged";
    const fs::path savedAfterCrash = home_ / "shows" / "walk-after-crash.sonavant";
    activateMainWindow();
    xdo("key ctrl+shift+s");
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Save As...", savedAfterCrash));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(savedAfterCrash); }, 10s))
        << "nothing was saved after the crash";
    auto afterCrash = readShow(savedAfterCrash);
    ASSERT_TRUE(afterCrash);
    const ShowItems restored = itemsOf(*afterCrash);
    EXPECT_NO_FATAL_FAILURE(expectSameItems(beforeCrash, restored, "after a crash"));
    EXPECT_NO_FATAL_FAILURE(expectSameCue(cue, restored.cues, "after a crash"));

    // A loudspeaker's channel changed in its sheet: the new channel gets the level the old
    // one had, and the old one the desk's bottom level (-80) as a mute.
    const Gains beforeChange = inputOneGains(desk);
    const auto [ox, oy] = outputs_[1];
    xdo("mousemove " + point(ox, oy) + " click --repeat 2 --delay 60 1");
    auto sheet = waitForWindow("^Speaker Properties$");
    ASSERT_TRUE(sheet) << "no loudspeaker sheet";
    screenshot("speaker-sheet");
    // The sheet opens with the name field focused; the type menu, then the channel follow.
    xdo("key Tab Tab ctrl+a");
    xdo("type --delay 5 '9'");
    xdo("key Return");
    screenshot("channel-typed");
    xdo("key Escape");
    ASSERT_TRUE(waitUntil([&] { return visibleWindows("^Speaker Properties$").empty(); }, 10s))
        << "the loudspeaker sheet stayed open";
    const std::string node = "/dbaudio1/matrixnode/gain/1/";
    const bool channelMoved = waitUntil(
        [&] {
            const Gains now = inputOneGains(desk);
            for (const char* old : {"1", "2"}) {
                const auto was = beforeChange.find(node + old);
                const auto isNow = now.find(node + old);
                const auto added = now.find(node + "9");
                if (was != beforeChange.end() && isNow != now.end() && added != now.end() &&
                    isNow->second == -80.0f && added->second == was->second)
                    return true;
            }
            return false;
        },
        10s);
    screenshot("channel-changed");
    EXPECT_TRUE(channelMoved) << "after the channel change the desk holds " << text(inputOneGains(desk))
                              << "before " << text(beforeChange);

    // Settings, Network page: the desk moved to another port, typed a key at a time. Once the
    // port has rested, the new port gets every level the pairs in use have; the old channel's
    // bottom level is not one of them.
    Gains inUse = inputOneGains(desk);
    std::erase_if(inUse, [](const auto& gain) { return gain.second == -80.0f; });
    FakeDesk newPort(false);
    ASSERT_NO_FATAL_FAILURE(
        typeDeskInSettings("", std::to_string(newPort.udpPort()), 100, "settings-desk-port-moved"));
    EXPECT_TRUE(waitUntil([&] { return !inUse.empty() && inputOneGains(newPort) == inUse; }, 10s))
        << "the desk at the new port holds " << text(inputOneGains(newPort)) << "not " << text(inUse);

    ASSERT_NO_FATAL_FAILURE(closeMainWindow());
    EXPECT_NO_FATAL_FAILURE(
        expectSameCue(cue, workingStateCues(workingState_), "the cue list after \"Open...\""));
}

// A TCP desk: "Yamaha CL5 (TCP)" from the desk menu (the pick empties the show), an output
// and an input added, their level arrives as a line; the desk moved in Settings to another
// TCP desk, typed a key every 100 ms: once the port has rested and the new link is ready,
// the new desk holds the same last line per address. The show saved and opened again under
// QLab 5 sends to the CL5's own port.
TEST_F(WholeApplicationWalk, ATCPDeskMovedInSettingsGetsEveryLevel) {
    shotPrefix_ = "walk-tcp";
    FakeDesk cl5, moved;
    FakeDesk qlab(false);
    ASSERT_NO_FATAL_FAILURE(startApplication({desksListeningAt(0, qlab.udpPort(), cl5.tcpPort())}));
    xdo("mousemove " + point(canvas_.x + 40, canvas_.y - 20) + " click 1");
    ASSERT_TRUE(waitUntil([&] { return !otherWindows().empty(); }, 10s)) << "no desk menu";
    xdo("key Down Down Return");
    ASSERT_TRUE(cl5.waitForConnections(1, 10s)) << "no link to the CL5 after its pick";
    ASSERT_NO_FATAL_FAILURE(chooseFromMenu(4, 0));
    ASSERT_NO_FATAL_FAILURE(chooseFromMenu(4, 1));
    ASSERT_TRUE(waitUntil([&] { return cl5.lastValuePerAddress().size() == 1; }, 10s))
        << "the CL5 got no level line: " << cl5.lineCount() << " lines";
    const auto levels = cl5.lastValuePerAddress();
    screenshot("tcp-desk-levels");
    ASSERT_NO_FATAL_FAILURE(
        typeDeskInSettings("", std::to_string(moved.tcpPort()), 100, "settings-tcp-desk-port-moved"));
    EXPECT_TRUE(waitUntil([&] { return moved.lastValuePerAddress() == levels; }, 10s))
        << "the TCP desk at the new port has " << moved.lineCount() << " lines";

    // Saved, QLab 5 picked, the show opened again: its link goes to the CL5's own port, not
    // to the port the operator typed nor to QLab's, and the CL5 gets the show's level again.
    const fs::path saved = home_ / "shows" / "cl5.sonavant";
    activateMainWindow();
    xdo("key ctrl+shift+s");
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Save As...", saved));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(saved); }, 10s)) << "nothing was saved";
    xdo("mousemove " + point(canvas_.x + 40, canvas_.y - 20) + " click 1");
    ASSERT_TRUE(waitUntil([&] { return !otherWindows().empty(); }, 10s)) << "no desk menu";
    xdo("key Down Return");
    ASSERT_TRUE(waitUntil([&] { return moved.openConnections() == 0; }, 10s)) << "QLab 5 was not chosen";
    const std::size_t linesBefore = cl5.lineCount();
    activateMainWindow();
    xdo("key ctrl+o");
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Open...", saved));
    EXPECT_TRUE(
        waitUntil([&] { return cl5.lineCount() > linesBefore && cl5.lastValuePerAddress() == levels; }, 10s))
        << "the opened CL5 show did not reach the CL5's own port: " << cl5.lineCount() - linesBefore
        << " new lines";
    screenshot("cl5-show-opened");
    ASSERT_NO_FATAL_FAILURE(closeMainWindow());
}

// The walk's close request, 500 times to a window of the test's own while every core is kept
// busy: each one arrives.
TEST(AskWindowToClose, EveryRequestArrivesUnderLoad) {
    xcb_connection_t* own = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(own));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(own)).data;
    const xcb_window_t window = xcb_generate_id(own);
    xcb_create_window(own, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const xcb_atom_t protocols = internAtom(own, "WM_PROTOCOLS"); // a round trip: the window exists
    const xcb_atom_t deleteWindow = internAtom(own, "WM_DELETE_WINDOW");

    constexpr int requests = 500;
    std::atomic<bool> busy{true};
    std::vector<std::thread> loops;
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
        loops.emplace_back([&] {
            while (busy.load(std::memory_order_relaxed)) {
            }
        });
    int sent = 0;
    for (int i = 0; i < requests; ++i)
        sent += askWindowToClose(std::to_string(window));
    busy = false;
    for (auto& loop : loops)
        loop.join();
    EXPECT_EQ(sent, requests);

    int arrived = 0;
    waitUntil(
        [&] {
            while (xcb_generic_event_t* event = xcb_poll_for_event(own)) {
                if ((event->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
                    const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
                    arrived += message->window == window && message->type == protocols &&
                               message->data.data32[0] == deleteWindow;
                }
                std::free(event);
            }
            return arrived >= requests;
        },
        10s);
    EXPECT_EQ(arrived, requests);
    xcb_destroy_window(own, window);
    xcb_disconnect(own);
}

} // namespace

int main(int argc, char** argv) {
    // The screen is grabbed from the X server the walk runs on, whatever the tests around say.
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
