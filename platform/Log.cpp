#include "platform/Log.h"

#include "platform/ThreadPriority.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <pthread.h>
#include <thread>
#include <unistd.h>

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
// How many captures are alive: a line takes the registry lock only when there are any.
std::atomic<int> captureCount{0};

// The lock around the pending lines is held for an append only: a thread that finds it
// taken spins a little before it sleeps, so a flood of lines from two threads does not
// turn into a sleep and a wake per line.
class AdaptiveMutex {
public:
    AdaptiveMutex() {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
        pthread_mutex_init(&mutex_, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    AdaptiveMutex(const AdaptiveMutex&) = delete;
    AdaptiveMutex& operator=(const AdaptiveMutex&) = delete;
    void lock() { pthread_mutex_lock(&mutex_); }
    void unlock() { pthread_mutex_unlock(&mutex_); }

private:
    pthread_mutex_t mutex_;
};

// Lines not yet handed to standard output, in order. A line costs the caller an append;
// the writes happen in large pieces, off the logging threads as long as they keep within
// `backlogLimit`. Never destroyed, like the rest.
struct PendingLines {
    AdaptiveMutex mutex;
    std::condition_variable_any due; // the writer thread is wanted before its interval is up
    std::string text;
    std::mutex writeMutex; // held while a piece is written, so pieces leave in order
    std::string writing;   // the piece being written (keeps its capacity)
    bool exiting = false;  // past the exit write: lines go straight to standard output
};
PendingLines& pendingLines() {
    static auto* lines = new PendingLines;
    return *lines;
}
// From this much pending, the writer thread is woken; from `backlogLimit`, the logging
// thread writes itself, so a flood cannot grow the pending lines without bound.
constexpr std::size_t writeThreshold = 256 * 1024;
constexpr std::size_t backlogLimit = 16 * 1024 * 1024;

void writePendingLines() {
    auto& lines = pendingLines();
    std::lock_guard writing(lines.writeMutex);
    {
        std::lock_guard lock(lines.mutex);
        lines.writing.swap(lines.text);
    }
    if (!lines.writing.empty())
        std::fwrite(lines.writing.data(), 1, lines.writing.size(), stdout);
    lines.writing.clear();
    std::fflush(stdout);
}

// One detached thread writes the lines out shortly after they were logged.
void startWriter() {
    static const bool started = [] {
        std::thread([] {
            detail::takeNormalPriority();
            pthread_setname_np(pthread_self(), "console");
            auto& lines = pendingLines();
            for (;;) {
                bool any;
                {
                    std::unique_lock lock(lines.mutex);
                    lines.due.wait_for(lock, std::chrono::milliseconds(consoleFlushIntervalMilliseconds),
                                       [&] { return lines.text.size() >= writeThreshold; });
                    any = !lines.text.empty();
                }
                if (any)
                    writePendingLines();
            }
        }).detach();
        // Lines still pending when the process ends normally are written on the way out,
        // before any later line (destructors of statics, threads still running). Both locks
        // held: no piece is half written and no line slips in ahead.
        std::atexit([] {
            auto& lines = pendingLines();
            std::lock_guard writing(lines.writeMutex);
            std::lock_guard lock(lines.mutex);
            lines.exiting = true;
            std::fwrite(lines.text.data(), 1, lines.text.size(), stdout);
            lines.text.clear();
            std::fflush(stdout);
        });
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
    // The local time of day is worked out once a second per thread: a flood of lines pays
    // for the milliseconds only.
    thread_local long long cachedSecond = std::numeric_limits<long long>::min();
    thread_local std::string cachedText;
    if (seconds.count() != cachedSecond) {
        std::time_t t = static_cast<std::time_t>(seconds.count());
        std::tm local{};
        localtime_r(&t, &local);
        cachedText = formatLogTimestamp(local.tm_hour, local.tm_min, local.tm_sec, 0);
        cachedSecond = seconds.count();
    }
    std::string text = cachedText;
    const int ms = static_cast<int>(millis);
    text[text.size() - 3] = static_cast<char>('0' + ms / 100);
    text[text.size() - 2] = static_cast<char>('0' + ms / 10 % 10);
    text[text.size() - 1] = static_cast<char>('0' + ms % 10);
    return text;
}

void consoleLog(std::string_view line) {
    consoleLog({line});
}

void consoleLog(std::initializer_list<std::string_view> pieces) {
    consoleLogLines({pieces});
}

void consoleLogLines(std::initializer_list<std::initializer_list<std::string_view>> lines) {
    // The timestamp fits the string's own buffer: no allocation for it.
    const std::string stamp = logTimestamp();
    if (captureCount.load(std::memory_order_acquire) > 0) {
        std::lock_guard lock(registryMutex());
        for (const auto& pieces : lines) {
            std::string line;
            for (auto piece : pieces)
                line += piece;
            for (auto* capture : registry())
                capture->append(line);
        }
    }
    auto append = [&](std::string& text) {
        for (const auto& pieces : lines) {
            text += stamp;
            text += ' ';
            for (auto piece : pieces)
                text += piece;
            text += '\n';
        }
    };
    // Appended whole under one lock: lines of several threads never interleave.
    std::size_t pending;
    {
        auto& pendingText = pendingLines();
        std::lock_guard lock(pendingText.mutex);
        if (pendingText.exiting) {
            // Straight to the descriptor: stdio's own exit flush takes no lock and can drop
            // what a thread writes into its buffer meanwhile.
            std::string text;
            append(text);
            for (std::size_t done = 0; done < text.size();) {
                const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                done += static_cast<std::size_t>(n);
            }
            return;
        }
        append(pendingText.text);
        pending = pendingText.text.size();
    }
    startWriter();
    if (pending >= backlogLimit)
        writePendingLines();
    else if (pending >= writeThreshold)
        pendingLines().due.notify_one();
}

void consoleFlush() {
    startWriter(); // makes sure the exit write is in place
    writePendingLines();
}

LogCapture::LogCapture() {
    std::lock_guard lock(registryMutex());
    registry().push_back(this);
    captureCount.fetch_add(1, std::memory_order_release);
}

LogCapture::~LogCapture() {
    std::lock_guard lock(registryMutex());
    auto& r = registry();
    r.erase(std::remove(r.begin(), r.end(), this), r.end());
    captureCount.fetch_sub(1, std::memory_order_release);
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
