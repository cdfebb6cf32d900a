#include "OSCCore/OSCTimeTag.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>

namespace {

using Date = OSCTimeTag::Date;
Date unixSeconds(double s) {
    return Date(std::chrono::duration<double>(s));
}
constexpr double jan2026 = 1767225600.0; // 2026-01-01 00:00 UTC

// Runs each test of the fixture under one time zone; tags are NTP time whatever the zone.
class TimeTagInZone : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ"))
            saved_ = tz;
        setenv("TZ", GetParam(), 1);
        tzset();
    }
    void TearDown() override {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> saved_;
};

} // namespace

TEST_P(TimeTagInZone, DatesConvertToNTPTime) {
    const OSCTimeTag tag(unixSeconds(jan2026));
    EXPECT_EQ(tag.era(), 0);
    EXPECT_EQ(tag.rawValue(), 0xED00378000000000ULL);
    EXPECT_EQ(OSCTimeTag(unixSeconds(jan2026 + 0.5)).rawValue(), 0xED00378080000000ULL);
    EXPECT_EQ(tag.date().time_since_epoch().count(), jan2026);
    EXPECT_EQ(OSCTimeTag::timeIntervalSince1900(unixSeconds(0)), 2208988800.0);
    EXPECT_EQ(OSCTimeTag(unixSeconds(-2208988800.0 - 1)).rawValue(), 0u); // before 1900
    EXPECT_EQ(OSCTimeTag(unixSeconds(-2208988800.0 - 1)).description(), "0");

    // The clock's own tag agrees with the date form.
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_NEAR(OSCTimeTag::now().date().time_since_epoch().count(), now, 5.0);
}

INSTANTIATE_TEST_SUITE_P(Zones, TimeTagInZone,
                         testing::Values("UTC", "EST5EDT", "IST-5:30", "Pacific/Auckland"));

TEST(TimeTag, ErasAre2To32Seconds) {
    EXPECT_EQ(OSCTimeTag::fromTimeIntervalSince1900(4294967295.0), OSCTimeTag(0xFFFFFFFF00000000ULL, 0));
    EXPECT_EQ(OSCTimeTag::fromTimeIntervalSince1900(4294967295.5), OSCTimeTag(0xFFFFFFFF80000000ULL, 0));
    EXPECT_EQ(OSCTimeTag::fromTimeIntervalSince1900(4294967296.5), OSCTimeTag(0x80000000ULL, 1));
    const OSCTimeTag tag(5, 2);
    EXPECT_EQ(tag.description(), "5-era:2");
    EXPECT_EQ(OSCTimeTag::timeIntervalSince1900(tag.date()), 2 * 4294967296.0 + 5 * std::ldexp(1.0, -32));
    EXPECT_EQ(OSCTimeTag::oscEra(tag.date()), 2);
    // 2036-02-07 06:28:16 UTC starts era 1.
    EXPECT_EQ(OSCTimeTag(unixSeconds(2085978496.0)), OSCTimeTag(0, 1));
    EXPECT_EQ(OSCTimeTag(unixSeconds(std::nan(""))), OSCTimeTag(0, 0));
    EXPECT_EQ(OSCTimeTag(unixSeconds(INFINITY)).era(), std::numeric_limits<std::int64_t>::max());
}

TEST(TimeTag, FutureTestCountsEras) {
    EXPECT_TRUE(OSCTimeTag(0, 1).isFuture()); // 2036, although its raw value is 0
    EXPECT_FALSE(OSCTimeTag(0xFFFFFFFF00000000ULL, -1).isFuture());
    EXPECT_TRUE(OSCTimeTag::fromTimeIntervalSinceNow(100).isFuture());
    EXPECT_FALSE(OSCTimeTag::fromTimeIntervalSinceNow(-100).isFuture());
    EXPECT_GT(OSCTimeTag::fromTimeIntervalSinceNow(100).timeIntervalSinceNow(), 90);
}

TEST(TimeTag, ImmediateTag) {
    const OSCTimeTag tag(1, 7);
    EXPECT_TRUE(tag.isImmediate());
    EXPECT_FALSE(tag.isFuture());
    EXPECT_EQ(tag.timeIntervalSinceNow(), 0);
    EXPECT_EQ(tag.timeInterval(unixSeconds(0)), 0);
    EXPECT_EQ(tag.description(), "1 (immediate)");
    EXPECT_EQ(OSCTimeTag(), OSCTimeTag::immediate());
}

TEST(TimeTag, WaitReturnsAtOnceForNothingAndStopsOnRequest) {
    EXPECT_TRUE(OSCTimeTag::waitUntil(-1));
    EXPECT_TRUE(OSCTimeTag::waitUntil(std::nan("")));
    EXPECT_TRUE(OSCTimeTag::waitUntil(0.001));
    std::stop_source stop;
    std::thread stopper([&] { stop.request_stop(); });
    EXPECT_FALSE(OSCTimeTag::waitUntil(1000.0 * 365 * 86400, stop.get_token())); // capped, then stopped
    stopper.join();
}

// A clock after the 2036 rollover: now is in era 1, while every tag off the wire says era 0.
TEST(TimeTag, ReceivedTagsWaitTheirTrueDistanceAcrossTheRollover) {
    const OSCTimeTag after2036 = OSCTimeTag::fromTimeIntervalSince1900(4294967296.0 + 3600.0); // era 1
    ASSERT_EQ(after2036.era(), 1);
    const OSCTimeTag inFiveSeconds(after2036.rawValue() + (5ULL << 32), 0);
    EXPECT_NEAR(inFiveSeconds.receivedWaitFrom(after2036), 5.0, 1e-9);
    const OSCTimeTag twoSecondsAgo(after2036.rawValue() - (2ULL << 32), 0);
    EXPECT_NEAR(twoSecondsAgo.receivedWaitFrom(after2036), -2.0, 1e-9);
    // Sent just before the rollover, received just after it: past, not 136 years ahead.
    const OSCTimeTag justBefore(0xFFFFFFFF00000000ULL, 0);
    const OSCTimeTag justAfter(1ULL << 32, 1);
    EXPECT_NEAR(justBefore.receivedWaitFrom(justAfter), -2.0, 1e-9);
    // Before the rollover, for a tag scheduled just after it: a short wait.
    EXPECT_NEAR(OSCTimeTag(1ULL << 32, 0).receivedWaitFrom(justBefore), 2.0, 1e-9);
    EXPECT_EQ(OSCTimeTag::immediate().receivedWaitFrom(after2036), 0);
    // The decoded value itself is left as it came.
    EXPECT_EQ(inFiveSeconds.era(), 0);
}
