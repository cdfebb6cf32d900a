#pragma once
// An OSC time tag: NTP fixed point, seconds since 1900-01-01 00:00 UTC in the upper 32 bits
// and the fraction in units of 2^-32 s in the lower; the raw value 1 means "immediately".
// The era counts whole 2^32-second spans before the raw value (era 1 starts in 2036); it
// never travels on the wire.

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

class OSCTimeTag {
public:
    // A moment as seconds since 1970-01-01 00:00 UTC, with the range and precision of a double.
    using Date = std::chrono::time_point<std::chrono::system_clock, std::chrono::duration<double>>;

    static constexpr double eraLength = 4294967296.0;             // 2^32 s
    static constexpr double secondsFrom1900To1970 = 2208988800.0; // NTP epoch to Unix epoch
    static constexpr double longestWait = 18446744073.0;          // 2^64 ns, in whole seconds

    // Immediately (era 0, raw value 1).
    OSCTimeTag() = default;
    explicit OSCTimeTag(std::uint64_t rawValue, std::int64_t era = 0) : era_(era), rawValue_(rawValue) {}
    explicit OSCTimeTag(Date date);

    static OSCTimeTag immediate() { return OSCTimeTag(); }
    static OSCTimeTag now();
    static OSCTimeTag fromTimeIntervalSinceNow(double seconds);
    static OSCTimeTag fromTimeIntervalSince1900(double seconds);

    std::int64_t era() const { return era_; }
    std::uint64_t rawValue() const { return rawValue_; }

    bool isImmediate() const { return rawValue_ == 1; }
    // Later than now, eras included; never for an immediate tag.
    bool isFuture() const;
    // The moment of the tag; now when immediate.
    Date date() const;
    // Seconds from now (or from the given moment) to the tag; 0 when immediate.
    double timeIntervalSinceNow() const;
    double timeInterval(Date since) const;

    // Seconds from `now` to a tag received off the wire, 0 when immediate. The wire carries
    // no era, so the raw value is read in the era nearest to `now` (within 2^31 s): a tag
    // sent a moment after the 2036 rollover, or received after it, keeps its true distance.
    double receivedWaitFrom(const OSCTimeTag& now) const;

    std::string description() const;

    bool operator==(const OSCTimeTag&) const = default;

    // Seconds from 1900-01-01 00:00 UTC to the moment, negative before it.
    static double timeIntervalSince1900(Date date);
    // Those seconds divided by the era length, truncated.
    static std::int64_t oscEra(Date date);

    // Blocks the calling thread for the given seconds (at most the longest wait); returns at
    // once for zero, negative or not-a-number. Returns false when stopped early.
    static bool waitUntil(double seconds, std::stop_token stop = {});

private:
    std::int64_t era_ = 0;
    std::uint64_t rawValue_ = 1;
};

template <> struct std::hash<OSCTimeTag> { std::size_t operator()(const OSCTimeTag& t) const noexcept; };
