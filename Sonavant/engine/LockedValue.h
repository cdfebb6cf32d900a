#pragma once
// One value that several threads read and write, with its own lock: the owner of a flag or
// a setting that the main thread changes while background sends consult it.

#include <mutex>
#include <utility>

template <class T> class LockedValue {
public:
    LockedValue() = default;
    explicit LockedValue(T initial) : value_(std::move(initial)) {}
    LockedValue(const LockedValue&) = delete;
    LockedValue& operator=(const LockedValue&) = delete;

    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void set(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};
