#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/PointHash.h"

#include "support/Eventually.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <regex>
#include <thread>
#include <unordered_set>

using namespace platform;

namespace {
struct Point {
    double x, y;
    bool operator==(const Point&) const = default;
};

// Standard output goes to `path` until restore() or the end of the scope, pending lines
// written out at both ends.
struct StandardOutputTo {
    explicit StandardOutputTo(const std::filesystem::path& path) {
        consoleFlush();
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        redirected = file >= 0;
        if (!redirected)
            return;
        saved = ::dup(1);
        ::dup2(file, 1);
        ::close(file);
    }
    ~StandardOutputTo() { restore(); }
    void restore() {
        if (saved < 0)
            return;
        consoleFlush();
        ::dup2(saved, 1);
        ::close(saved);
        saved = -1;
    }
    bool redirected = false;
    int saved = -1;
};
} // namespace

TEST(Log, TimestampIsZeroPaddedMilliseconds) {
    EXPECT_EQ(formatLogTimestamp(9, 5, 3, 42), "09:05:03.042");
    EXPECT_EQ(formatLogTimestamp(23, 59, 59, 999), "23:59:59.999");
    EXPECT_TRUE(std::regex_match(logTimestamp(), std::regex(R"(\d\d:\d\d:\d\d\.\d\d\d)"))) << logTimestamp();
}

TEST(Log, CapturesCollectWholeLinesFromEveryThread) {
    LogCapture outer;
    std::vector<std::string> innerLines;
    {
        LogCapture inner;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < 50; ++i)
                    consoleLog("thread " + std::to_string(t) + " line " + std::to_string(i));
            });
        for (auto& th : threads)
            th.join();
        // Only this test's lines: other code of the process may log meanwhile.
        for (auto& line : inner.lines())
            if (line.rfind("thread ", 0) == 0)
                innerLines.push_back(line);
        EXPECT_TRUE(inner.contains("thread 3 line 49"));
    }
    consoleLog("after inner capture");
    EXPECT_EQ(innerLines.size(), 200u);
    std::size_t outerCount = 0;
    for (auto& line : outer.lines())
        outerCount += line.rfind("thread ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(outerCount, 200u);
    EXPECT_EQ(outer.lines().back(), "after inner capture"); // captured without the time stamp
    for (const auto& line : innerLines)
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(thread \d line \d+)"))) << line;
}

// Lines are not flushed one by one, yet all of them reach the file, in order, soon after.
TEST(Log, BufferedLinesReachAFileInOrderWithoutAnExplicitFlush) {
    support::TempFolder folder("log");
    const auto path = folder / "console.txt";
    StandardOutputTo output(path);
    ASSERT_TRUE(output.redirected);
    for (int i = 0; i < 2000; ++i)
        consoleLog("buffered line " + std::to_string(i));
    auto contents = [&] {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const bool arrived =
        support::eventually([&] { return contents().find("buffered line 1999\n") != std::string::npos; },
                            std::chrono::seconds(5));
    output.restore();
    ASSERT_TRUE(arrived);
    std::istringstream lines(contents());
    std::string line;
    int expected = 0;
    while (std::getline(lines, line)) {
        if (auto at = line.find("buffered line "); at != std::string::npos) {
            EXPECT_EQ(line.substr(at), "buffered line " + std::to_string(expected++));
        }
    }
    EXPECT_EQ(expected, 2000);
}

// A flood from several threads, far beyond what is kept pending before the writer is
// woken and before the loggers write themselves: every line arrives whole, joined from its
// pieces, each thread's lines in their order.
TEST(Log, FloodFromSeveralThreadsArrivesWholeAndInOrder) {
    support::TempFolder folder("log");
    const auto path = folder / "flood.txt";
    StandardOutputTo output(path);
    ASSERT_TRUE(output.redirected);
    constexpr int threads = 4, perThread = 60'000;
    const std::string padding(48, '.');
    std::vector<std::thread> loggers;
    for (int t = 0; t < threads; ++t)
        loggers.emplace_back([t, &padding] {
            const std::string name = "flood " + std::to_string(t);
            for (int i = 0; i < perThread; ++i) {
                const std::string number = std::to_string(i);
                if (i % 3 == 0 && i + 1 < perThread) { // two lines at one moment
                    const std::string second = std::to_string(++i);
                    consoleLogLines(
                        {{name, " line ", number, " ", padding}, {name, " line ", second, " ", padding}});
                    continue;
                }
                consoleLog({name, " line ", number, " ", padding});
            }
        });
    for (auto& logger : loggers)
        logger.join();
    output.restore();
    std::ifstream in(path);
    std::string line;
    int next[threads] = {};
    const std::regex whole(R"(\d\d:\d\d:\d\d\.\d\d\d flood (\d) line (\d+) \.{48})");
    std::smatch match;
    std::string previous;
    while (std::getline(in, line)) {
        if (line.find("flood ") == std::string::npos)
            continue;
        ASSERT_TRUE(std::regex_match(line, match, whole)) << line;
        const int t = std::stoi(match[1]);
        const int i = std::stoi(match[2]);
        ASSERT_EQ(i, next[t]++) << line;
        if (i % 3 == 1) // the second of a pair: right after the first, with its time stamp
            EXPECT_EQ(previous.substr(0, 20), line.substr(0, 20)) << line;
        previous = line;
    }
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ(next[t], perThread) << "thread " << t;
}

// A thread still logging while the process ends: its lines reach the file in their order,
// the pending ones first.
TEST(Log, LinesLoggedWhileTheProcessEndsKeepTheirOrder) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test again from the start: it finds the parent's file by name.
    constexpr const char* fileVariable = "SONAVANT_TEST_EXIT_LOG";
    std::optional<support::TempFolder> folder;
    std::filesystem::path path;
    if (const char* given = std::getenv(fileVariable)) {
        path = given;
    } else {
        folder.emplace("log");
        path = *folder / "exit.txt";
        ::setenv(fileVariable, path.c_str(), 1);
    }
    EXPECT_EXIT(
        {
            const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(file, 1);
            static std::atomic<int> logged{0};
            std::thread([] {
                for (int i = 0;; ++i) {
                    consoleLog("ending line " + std::to_string(i));
                    logged = i;
                }
            }).detach();
            while (logged < 20'000) {
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    ::unsetenv(fileVariable);
    std::ifstream in(path);
    std::string line;
    int next = 0;
    while (std::getline(in, line)) {
        const auto at = line.find("ending line ");
        if (at == std::string::npos)
            continue; // the test program's own output
        if (in.eof())
            break; // the last line may be cut off by the end
        ASSERT_EQ(line.substr(at), "ending line " + std::to_string(next++));
    }
    EXPECT_GE(next, 20'000);
}

TEST(PointHash, EqualPointsHashEqual) {
    EXPECT_EQ(hashPoint(0.0, 1.0), hashPoint(-0.0, 1.0));
    EXPECT_EQ(hashPoint(1.0, -0.0), hashPoint(1.0, 0.0));
    EXPECT_NE(hashPoint(1.0, 2.0), hashPoint(2.0, 1.0)); // x then y, not a symmetric mix
    std::unordered_set<Point, PointHash> set{{0.0, 1.0}, {-0.0, 1.0}, {3.5, -2.0}};
    EXPECT_EQ(set.size(), 2u);
}

TEST(Clock, MediaTimeIsMonotonic) {
    double a = mediaTime();
    double b = mediaTime();
    EXPECT_GE(b, a);
    EXPECT_GT(a, 0.0);
}
