#pragma once
// One sink for console lines. Every line the system prints goes through consoleLog, so a
// test can capture them.

#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Prints "HH:mm:ss.SSS " + line on standard output, whole (lines of several threads never
// interleave). Any thread. No write per line: a line costs the caller an append (a flood
// of remote commands logs several each); a background thread writes what is pending
// within consoleFlushInterval, in order, every line, and at a normal exit. Before taking
// standard output elsewhere, call consoleFlush(), not only fflush.
void consoleLog(std::string_view line);
// The same line given in pieces, joined straight into the pending output.
void consoleLog(std::initializer_list<std::string_view> pieces);
// Several lines, each given in pieces, that happen at one moment: one time stamp and one
// turn of the lock for all of them, in order.
void consoleLogLines(std::initializer_list<std::initializer_list<std::string_view>> lines);
// Writes out at once whatever lines are pending, and flushes standard output.
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
    friend void consoleLogLines(std::initializer_list<std::initializer_list<std::string_view>>);
    void append(std::string_view line);
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

} // namespace platform
