#pragma once
// A two-way reference to a value that someone else owns (the application's desk address,
// port and zero-point visibility). Copies share the one value. Reads are safe from any
// thread, because delayed desk sends read the address when they run; writes and observers
// belong to the main thread. Observers hear a change after it is made, and only when the
// value actually changed.

#include "platform/Observable.h"

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

template <class T> class Binding {
public:
    Binding() : Binding(T{}) {}
    explicit Binding(T initial) : cell_(std::make_shared<Cell>(std::move(initial))) {}

    T get() const {
        std::lock_guard lock(cell_->mutex);
        return cell_->value;
    }

    void set(T value) {
        {
            std::lock_guard lock(cell_->mutex);
            if (cell_->value == value)
                return;
            cell_->value = value;
        }
        cell_->changed.send(value);
    }
    Binding& operator=(T value) {
        set(std::move(value));
        return *this;
    }
    // Rebinding: this handle now refers to the other's value.
    Binding(const Binding&) = default;
    Binding& operator=(const Binding&) = default;

    platform::Subscription observe(std::function<void(const T&)> callback) {
        return cell_->changed.sink(std::move(callback));
    }

    bool sharesValueWith(const Binding& other) const { return cell_ == other.cell_; }

private:
    struct Cell {
        explicit Cell(T initial) : value(std::move(initial)) {}
        mutable std::mutex mutex;
        T value;
        platform::Subject<T> changed;
    };
    std::shared_ptr<Cell> cell_;
};
