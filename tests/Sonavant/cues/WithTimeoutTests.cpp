// The deadline race, on the main run loop's fake time.

#include "Sonavant/cues/WithTimeout.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

using namespace std::chrono_literals;

namespace {

using Outcome = TimeoutOutcome<std::optional<std::string>>;

// An operation that answers `text` after `delay` on the main queue, cancelled or not.
std::function<void(std::function<void(std::optional<std::string>)>)>
answerAfter(platform::Duration delay, std::optional<std::string> text) {
    return [delay, text](std::function<void(std::optional<std::string>)> done) {
        platform::DispatchQueue::main()->asyncAfter(delay, [done, text] { done(text); });
    };
}

struct Race {
    std::optional<Outcome> outcome;
    double endedAt = -1;
    void start(double seconds,
               std::function<void(std::function<void(std::optional<std::string>)>)> operation) {
        withTimeout<std::optional<std::string>>(seconds, std::move(operation), [this](Outcome result) {
            outcome = std::move(result);
            endedAt = platform::MainRunLoop::now();
        });
    }
    bool timedOut() const {
        if (!outcome || !std::holds_alternative<std::exception_ptr>(*outcome))
            return false;
        try {
            std::rethrow_exception(std::get<std::exception_ptr>(*outcome));
        } catch (const TimeoutError&) {
            return true;
        } catch (...) {
            return false;
        }
    }
};

} // namespace

TEST(WithTimeout, TheFirstOutcomeWinsAndALosingOperationIsAwaited) {
    platform::MainRunLoop::adoptCurrentThread();
    platform::MainRunLoop::useFakeTime(true);
    const double t0 = platform::MainRunLoop::now();

    Race quick, nothing, slow, instant, thrown;
    quick.start(2.0, answerAfter(100ms, "reply"));
    nothing.start(2.0, [](auto done) { done(std::nullopt); });
    slow.start(2.0, answerAfter(3s, "late"));
    instant.start(0.0, answerAfter(1s, "x"));
    thrown.start(2.0, [](auto) { throw std::runtime_error("refused"); });

    ASSERT_TRUE(nothing.outcome) << "a nil answer at once is a value";
    EXPECT_FALSE(std::get<std::optional<std::string>>(*nothing.outcome));
    ASSERT_TRUE(thrown.outcome);
    EXPECT_FALSE(thrown.timedOut());

    platform::MainRunLoop::advance(150ms);
    ASSERT_TRUE(quick.outcome);
    EXPECT_EQ(std::get<std::optional<std::string>>(*quick.outcome), "reply");
    EXPECT_NEAR(quick.endedAt - t0, 0.1, 1e-6) << "the lost deadline does not hold the call";

    platform::MainRunLoop::advance(2s);
    EXPECT_FALSE(slow.outcome) << "the deadline passed, but the operation has not ended yet";
    EXPECT_TRUE(instant.timedOut());
    platform::MainRunLoop::advance(1s);
    EXPECT_TRUE(slow.timedOut());
    EXPECT_NEAR(slow.endedAt - t0, 3.0, 1e-6);

    platform::MainRunLoop::useFakeTime(false);
}
