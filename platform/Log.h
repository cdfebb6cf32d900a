#pragma once
// One sink for console lines. Every line the system prints goes through consoleLog, so a
// test can capture them.

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Prints "HH:mm:ss.SSS " + line on standard output, as one write (lines of several
// threads never interleave). Any thread. No flush per line: a line costs no system call
// on the caller's thread (remote commands log several each); a background flush writes
// what is buffered within consoleFlushInterval, in order, every line.
void consoleLog(std::string_view line);
// Writes out at once whatever lines are buffered.
void consoleFlush();
inline constexpr int consoleFlushIntervalMilliseconds = 50;

// The local time of day as "HH:mm:ss.SSS" (24-hour clock, zero-padded). Any thread.
std::string logTimestamp();
std::string formatLogTimestamp(int hour, int minute, int second, int millisecond);

// While alive, console lines are also collected here (any thread).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::vector<std::string> lines() const;
    bool contains(std::string_view fragment) const;

private:
    friend void consoleLog(std::string_view);
    void append(std::string_view line);
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

} // namespace platform
