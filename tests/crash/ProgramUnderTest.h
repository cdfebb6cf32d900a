#pragma once
// The built program (SONAVANT_APP) started from a home of its own under the offscreen
// platform, its console going to a log file in that home; a desk on loopback.

#include "Sonavant/model/AppStatePersistence.h"
#include "platform/UserDefaults.h"
#include "support/Eventually.h"
#include "support/ProgramEnvironment.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace programtest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Polls every 50 ms until `condition` holds or the deadline passes.
inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 30s) {
    return support::eventually(condition, timeout, 50ms);
}

inline std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The folders of a home as the program finds them.
struct Home {
    fs::path root;
    fs::path config() const { return root / "config" / "Sonavant"; }
    fs::path data() const { return root / "data" / "Sonavant"; }
    fs::path autosave() const { return data() / AppStatePersistence::autosaveFileName; }
    fs::path workingState() const { return config() / "Sonavant.plist"; }

    static Home make(const fs::path& parent, const std::string& name) {
        Home home{parent / name};
        fs::create_directories(home.config());
        fs::create_directories(home.data());
        fs::create_directories(home.root / "cache");
        fs::create_directories(home.root / "runtime");
        fs::permissions(home.root / "runtime", fs::perms::owner_all);
        return home;
    }
};

// The desk at loopback, remote control on `receivePort`, the window at one fixed frame.
inline void seedWorkingState(platform::UserDefaults& defaults, std::uint16_t deskPort,
                             std::uint16_t receivePort) {
    defaults.set("savedTargetDeskIP", std::string("127.0.0.1"));
    defaults.set("savedTargetPort", std::to_string(deskPort));
    defaults.set("savedReceivePort", std::to_string(receivePort));
    defaults.set("NSWindow Frame MainWindow", std::string("{{0, 0}, {1400, 900}}"));
    defaults.synchronize();
}

// The built program in `home`, its console going to a log file there.
class Program {
public:
    Program(const Home& home, std::string name) : home_(home), log_(home.root / (name + ".log")) {}
    ~Program() { end(SIGKILL); }

    // `environment`: NAME=value entries added to (or replacing) the inherited ones. `runner`,
    // when given, is a command that runs the program (strace, for one).
    bool start(const std::string& autosaveInterval, const std::vector<std::string>& environment = {},
               std::vector<std::string> runner = {}) {
        const char* program = std::getenv("SONAVANT_APP");
        if (!program)
            return false;
        std::vector<std::string> added{std::string(AppStatePersistence::autosaveIntervalVariable) + "=" +
                                       autosaveInterval};
        added.insert(added.end(), environment.begin(), environment.end());
        std::vector<std::string> env = support::programEnvironment(home_.root, "offscreen", added);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        runner.push_back(program);
        std::vector<char*> argv;
        for (auto& word : runner)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const int error = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            pid_ = -1;
        return pid_ > 0;
    }

    bool logContains(const std::string& fragment) const {
        return fileText(log_).find(fragment) != std::string::npos;
    }
    std::string log() const { return fileText(log_); }

    // The exit status once the program has ended by itself within `timeout`; none while it runs.
    std::optional<int> exitStatus(std::chrono::milliseconds timeout) {
        int status = 0;
        if (pid_ <= 0 || !waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout))
            return std::nullopt;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    bool running() {
        int status = 0;
        return pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0;
    }

    pid_t pid() const { return pid_; }

    // Sends `signal` and waits for the end (SIGKILL after 10 s if it does not come).
    bool end(int signal) {
        if (pid_ <= 0)
            return true;
        ::kill(pid_, signal);
        return waitForEnd(10s);
    }

    // Waits for the end of the program (SIGKILL after `timeout`).
    bool waitForEnd(std::chrono::milliseconds timeout) {
        if (pid_ <= 0)
            return true;
        bool ended = waitUntil(
            [&] {
                int status = 0;
                return ::waitpid(pid_, &status, WNOHANG) == pid_;
            },
            timeout);
        if (!ended) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
        return ended;
    }

private:
    Home home_;
    fs::path log_;
    pid_t pid_ = -1;
};

// True when the built program exists; `homes` is then a fresh folder for its homes.
inline bool prepareHomes(const std::string& prefix, fs::path& homes) {
    const char* program = std::getenv("SONAVANT_APP");
    if (!program || !fs::exists(program))
        return false;
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        return false;
    homes = pattern;
    return true;
}

// The homes stay for a look when a case failed.
inline void removeHomes(const fs::path& homes, bool failed) {
    if (failed)
        return;
    std::error_code ignored;
    fs::remove_all(homes, ignored);
}

} // namespace programtest
