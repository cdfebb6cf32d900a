#pragma once
// Races an asynchronous operation against a deadline on the main queue. The first outcome
// wins: the operation's value, the operation's error (thrown while starting it) or a
// TimeoutError. The completion runs once both have ended: a deadline that lost ends at once,
// but an operation that lost runs on to its own end first (it cannot be cancelled). The
// operation hands its value over on the main thread; everything here runs there.

#include "Sonavant/cues/TimeoutError.h"
#include "platform/Dispatch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

template <class T> using TimeoutOutcome = std::variant<T, std::exception_ptr>;

template <class T>
void withTimeout(double seconds, std::function<void(std::function<void(T)>)> operation,
                 std::function<void(TimeoutOutcome<T>)> completion) {
    struct Race {
        std::optional<TimeoutOutcome<T>> first;
        bool operationEnded = false, deadlineEnded = false;
        std::function<void(TimeoutOutcome<T>)> completion;
        void endIfBothEnded() {
            if (operationEnded && deadlineEnded && completion)
                std::exchange(completion, nullptr)(std::move(*first));
        }
    };
    auto race = std::make_shared<Race>();
    race->completion = std::move(completion);
    // Deadlines outside what the callers use are held within reason.
    const double bounded = std::isfinite(seconds) ? std::clamp(seconds, 0.0, 365.0 * 24 * 3600) : 0.0;
    platform::DispatchQueue::main()->asyncAfter(
        std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(bounded)), [race] {
            if (race->deadlineEnded)
                return; // cancelled when the operation won
            race->deadlineEnded = true;
            if (!race->first)
                race->first = std::make_exception_ptr(TimeoutError());
            race->endIfBothEnded();
        });
    auto operationEnded = [race](TimeoutOutcome<T> outcome) {
        if (race->operationEnded)
            return;
        race->operationEnded = true;
        if (!race->first) {
            race->first = std::move(outcome);
            race->deadlineEnded = true;
        }
        race->endIfBothEnded();
    };
    try {
        operation([operationEnded](T value) { operationEnded(TimeoutOutcome<T>(std::move(value))); });
    } catch (...) {
        operationEnded(TimeoutOutcome<T>(std::current_exception()));
    }
}
