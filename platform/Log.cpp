#include "platform/Log.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace platform {

namespace {

// Captures alive at the moment; a line reaches each of them. Never destroyed, so that
// code running at exit (a store flushing its file) may still log.
std::mutex& registryMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::vector<LogCapture*>& registry() {
    static auto* captures = new std::vector<LogCapture*>;
    return *captures;
}

// Set by a line not yet flushed; never destroyed, so lines written at exit are safe.
std::atomic<bool>& pendingFlush() {
    static auto* pending = new std::atomic<bool>(false);
    return *pending;
}

// One detached thread flushes standard output shortly after lines were written.
void scheduleFlush() {
    pendingFlush().store(true, std::memory_order_relaxed);
    static const bool started = [] {
        std::thread([] {
            for (;;) {
                std::this_thread::sleep_for(std::chrono::milliseconds(consoleFlushIntervalMilliseconds));
                if (pendingFlush().exchange(false, std::memory_order_relaxed))
                    std::fflush(stdout);
            }
        }).detach();
        // Lines still buffered when the process ends normally are written by stdio's own
        // exit flush.
        return true;
    }();
    (void)started;
}

} // namespace

std::string formatLogTimestamp(int hour, int minute, int second, int millisecond) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", hour, minute, second, millisecond);
    return buf;
}

std::string logTimestamp() {
    auto now = std::chrono::system_clock::now();
    auto sinceEpoch = now.time_since_epoch();
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    if (millis < 0) { // before 1970: floor, not truncate
        millis += 1000;
        seconds -= std::chrono::seconds(1);
    }
    std::time_t t = static_cast<std::time_t>(seconds.count());
    std::tm local{};
    localtime_r(&t, &local);
    return formatLogTimestamp(local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis));
}

void consoleLog(std::string_view line) {
    std::string out = logTimestamp();
    out += ' ';
    out += line;
    out += '\n';
    {
        std::lock_guard lock(registryMutex());
        for (auto* capture : registry())
            capture->append(line);
    }
    // One fwrite under stdio's own lock keeps the line whole and in order with every other.
    std::fwrite(out.data(), 1, out.size(), stdout);
    scheduleFlush();
}

void consoleFlush() {
    pendingFlush().store(false, std::memory_order_relaxed);
    std::fflush(stdout);
}

LogCapture::LogCapture() {
    std::lock_guard lock(registryMutex());
    registry().push_back(this);
}

LogCapture::~LogCapture() {
    std::lock_guard lock(registryMutex());
    auto& r = registry();
    r.erase(std::remove(r.begin(), r.end(), this), r.end());
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool LogCapture::contains(std::string_view fragment) const {
    std::lock_guard lock(mutex_);
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const std::string& l) { return l.find(fragment) != std::string::npos; });
}

void LogCapture::append(std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
}

} // namespace platform
