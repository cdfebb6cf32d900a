#include "OSCCore/OSCTimeTag.h"

#include "OSCCore/Hashing.h"

#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <tuple>

namespace {

constexpr double fractionScale = 4294967296.0; // units of 2^-32 s per second

// The tag of a moment given as seconds since 1900 UTC.
OSCTimeTag tagFromSeconds(double s) {
    if (!(s > 0))
        return OSCTimeTag(0, 0);
    if (s < OSCTimeTag::eraLength)
        return OSCTimeTag(static_cast<std::uint64_t>(s * fractionScale), 0);
    const double era = std::floor(s / OSCTimeTag::eraLength);
    if (!(era < 9223372036854775808.0)) // beyond any era we can count, infinity included
        return OSCTimeTag(std::numeric_limits<std::uint64_t>::max(),
                          std::numeric_limits<std::int64_t>::max());
    // Powers of two: the division, the product and the remainder are exact.
    const double remainder = s - era * OSCTimeTag::eraLength;
    return OSCTimeTag(static_cast<std::uint64_t>(remainder * fractionScale), static_cast<std::int64_t>(era));
}

} // namespace

OSCTimeTag::OSCTimeTag(Date date) : OSCTimeTag(tagFromSeconds(timeIntervalSince1900(date))) {}

OSCTimeTag OSCTimeTag::now() {
    // Integer arithmetic keeps the clock's full precision.
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    const std::int64_t ns = sinceEpoch < 0 ? 0 : sinceEpoch;
    const std::uint64_t seconds = static_cast<std::uint64_t>(ns / 1'000'000'000) + 2208988800ULL;
    const std::uint64_t fraction = (static_cast<std::uint64_t>(ns % 1'000'000'000) << 32) / 1'000'000'000ULL;
    return OSCTimeTag((seconds & 0xFFFFFFFFULL) << 32 | fraction, static_cast<std::int64_t>(seconds >> 32));
}

OSCTimeTag OSCTimeTag::fromTimeIntervalSinceNow(double seconds) {
    if (seconds == 0)
        return now();
    return OSCTimeTag(Date(std::chrono::system_clock::now()) + std::chrono::duration<double>(seconds));
}

OSCTimeTag OSCTimeTag::fromTimeIntervalSince1900(double seconds) {
    return tagFromSeconds(seconds);
}

bool OSCTimeTag::isFuture() const {
    if (isImmediate())
        return false;
    const OSCTimeTag current = now();
    return std::tie(era_, rawValue_) > std::tie(current.era_, current.rawValue_);
}

OSCTimeTag::Date OSCTimeTag::date() const {
    if (isImmediate())
        return Date(std::chrono::system_clock::now());
    double s = static_cast<double>(rawValue_) / fractionScale;
    if (era_ != 0)
        s += static_cast<double>(era_) * eraLength;
    return Date(std::chrono::duration<double>(s - secondsFrom1900To1970));
}

double OSCTimeTag::timeIntervalSinceNow() const {
    if (isImmediate())
        return 0;
    return timeInterval(Date(std::chrono::system_clock::now()));
}

double OSCTimeTag::timeInterval(Date since) const {
    if (isImmediate())
        return 0;
    return (date() - since).count();
}

double OSCTimeTag::receivedWaitFrom(const OSCTimeTag& now) const {
    if (isImmediate())
        return 0;
    // Two's-complement difference of the raw values: the nearest era wins.
    const auto difference = static_cast<std::int64_t>(rawValue_ - now.rawValue_);
    return static_cast<double>(difference) / fractionScale;
}

std::string OSCTimeTag::description() const {
    if (isImmediate())
        return "1 (immediate)";
    if (era_ != 0)
        return std::to_string(rawValue_) + "-era:" + std::to_string(era_);
    return std::to_string(rawValue_);
}

double OSCTimeTag::timeIntervalSince1900(Date date) {
    return date.time_since_epoch().count() + secondsFrom1900To1970;
}

std::int64_t OSCTimeTag::oscEra(Date date) {
    const double era = std::trunc(timeIntervalSince1900(date) / eraLength);
    if (std::isnan(era))
        return 0;
    if (era >= 9223372036854775807.0)
        return std::numeric_limits<std::int64_t>::max();
    if (era <= -9223372036854775807.0)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(era);
}

bool OSCTimeTag::waitUntil(double seconds, std::stop_token stop) {
    if (!(seconds > 0))
        return true;
    seconds = std::min(seconds, longestWait);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    for (;;) {
        const double left = seconds - std::chrono::duration<double>(Clock::now() - start).count();
        if (left <= 0)
            return true;
        // Waits in slices of at most a day so no deadline overflows the clock.
        const auto slice = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(std::min(left, 86400.0)));
        wake.wait_for(lock, stop, slice, [] { return false; });
        if (stop.stop_requested())
            return false;
    }
}

std::size_t std::hash<OSCTimeTag>::operator()(const OSCTimeTag& t) const noexcept {
    std::size_t seed = 0;
    osccore::hashFeed(seed, t.era());
    osccore::hashFeed(seed, t.rawValue());
    return seed;
}
