// The threads the platform layer starts run at the normal priority, whoever starts them.
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/WorkerPool.h"

#include "support/Eventually.h"
#include "support/Gate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using namespace platform;
using namespace std::chrono_literals;

namespace {

struct Task {
    pid_t tid = 0;
    std::string name;
    int nice = 0;
};

// Every thread of this process, with its nice value (field 19 of its stat line).
std::vector<Task> tasks() {
    std::vector<Task> all;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream file(entry.path() / "stat");
        std::string line;
        if (!std::getline(file, line))
            continue; // ended meanwhile
        const auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2)); // from field 3 on
        std::string field;
        for (int index = 3; index < 19 && rest >> field; ++index) {
        }
        Task task;
        if (!(rest >> task.nice))
            continue;
        task.tid = static_cast<pid_t>(std::stoi(entry.path().filename().string()));
        task.name = line.substr(open + 1, close - open - 1);
        all.push_back(std::move(task));
    }
    return all;
}

std::string describe(const std::vector<Task>& all) {
    std::string text;
    for (const Task& task : all)
        text += " " + task.name + ":" + std::to_string(task.nice);
    return text;
}

// Whether this system lets a thread raise itself to nice -10 (CAP_SYS_NICE, or
// RLIMIT_NICE >= 30): tried on a thread of its own, which ends.
bool raisingAllowed() {
    bool allowed = false;
    std::thread([&] { allowed = setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10) == 0; }).join();
    return allowed;
}

using support::Gate;

// Run in a fresh process, where no platform thread exists yet: a thread raised to nice -10
// makes the platform start each kind of thread it has, then ends. What the problem is, or
// nothing.
std::string startPlatformThreadsFromARaisedThread() {
    const int normal = getpriority(PRIO_PROCESS, 0); // this, the main thread
    auto named = [](const std::vector<Task>& all, const std::string& name) {
        return std::count_if(all.begin(), all.end(), [&](const Task& t) { return t.name == name; });
    };
    if (named(tasks(), "dispatch-pool") != 0)
        return "a pool thread ran before the raised thread submitted:" + describe(tasks());

    auto release = std::make_shared<Gate>();
    int fds[2];
    if (::pipe(fds) != 0)
        return "no pipe";
    std::shared_ptr<DispatchSource> source;
    std::shared_ptr<DispatchQueue> own;
    std::string problem;
    std::thread raised([&] {
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10) != 0) {
            problem = "the submitting thread could not be raised to nice -10";
            return;
        }
        // Every pool thread held up, and one job more: the pool starts its threads and the
        // starvation watcher from here.
        const unsigned jobs = detail::sharedPool().counts().softCap + 1;
        for (unsigned i = 0; i < jobs; ++i)
            DispatchQueue::global()->async([release] { release->waitFor(60s); });
        DispatchQueue::global()->asyncAfter(1ms, [] {});
        consoleLog("a line from a raised thread");
        source = DispatchSource::makeRead(fds[0], DispatchQueue::makeSerial("priority.reader"));
        source->setEventHandler([] {});
        source->resume();
        own = DispatchQueue::makeSerialOnOwnThread("priority.own");
    });
    raised.join();
    if (!problem.empty())
        return problem;

    const std::vector<std::string> expected = {"dispatch-pool", "dispatch-watch", "dispatch-timer",
                                               "console",       "reactor",        "priority.own"};
    std::vector<Task> all;
    const bool settled = support::eventually(
        [&] {
            all = tasks();
            for (const auto& name : expected)
                if (named(all, name) == 0)
                    return false;
            return std::all_of(all.begin(), all.end(), [&](const Task& t) { return t.nice == normal; });
        },
        10s);
    release->open();
    source->cancel();
    if (!settled) {
        std::string names;
        for (const auto& name : expected)
            names += " " + name;
        return "expected every thread at nice " + std::to_string(normal) + ", with each of" + names +
               "; found" + describe(all);
    }
    return {};
}

} // namespace

TEST(ThreadPriority, ThreadsStartedFromARaisedThreadRunAtTheNormalPriority) {
    if (!raisingAllowed())
        GTEST_SKIP() << "raising a thread to nice -10 is not allowed here (needs CAP_SYS_NICE or "
                        "RLIMIT_NICE >= 30)";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child process runs this test again from the start: no pool thread exists there.
    EXPECT_EXIT(
        {
            const std::string problem = startPlatformThreadsFromARaisedThread();
            std::fputs(problem.c_str(), stderr);
            std::fflush(stderr);
            std::_Exit(problem.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
