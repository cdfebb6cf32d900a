#pragma once
// Observation in place of Combine: published values, subjects for one-off events, and
// subscription tokens that end their subscription when dropped.
//
// Single-threaded by design (the main thread, or one serial queue): there are no locks.
// Callbacks may subscribe, cancel their own or other tokens, or destroy the publisher's
// owner while an announcement runs; a token may outlive its publisher.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// Qt defines `emit` as an empty macro; a window that includes Qt first must still compile this.
#pragma push_macro("emit")
#undef emit

namespace platform {

class SubscriptionBag;

namespace detail {

class ChannelCore {
public:
    virtual ~ChannelCore() = default;
    virtual void unsubscribe(std::uint64_t id) = 0;
};

} // namespace detail

// Ends its subscription when dropped (or on cancel()). Movable, not copyable.
class Subscription {
public:
    Subscription() = default;
    Subscription(std::weak_ptr<detail::ChannelCore> channel, std::uint64_t id)
        : channel_(std::move(channel)), id_(id) {}
    Subscription(Subscription&& other) noexcept
        : channel_(std::move(other.channel_)), id_(std::exchange(other.id_, 0)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            channel_ = std::move(other.channel_);
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { cancel(); }

    void cancel() {
        if (id_ == 0)
            return;
        auto id = std::exchange(id_, 0);
        if (auto channel = channel_.lock())
            channel->unsubscribe(id);
        channel_.reset();
    }
    // True until cancelled or dropped (also while the publisher is gone: it just never fires).
    bool isActive() const { return id_ != 0; }

    // Hands the token to a bag that keeps it alive.
    void store(SubscriptionBag& bag) &&;

private:
    std::weak_ptr<detail::ChannelCore> channel_;
    std::uint64_t id_ = 0;
};

// Keeps several tokens; dropping or clearing the bag ends them all.
class SubscriptionBag {
public:
    void insert(Subscription subscription) { items_.push_back(std::move(subscription)); }
    void clear() {
        // Detach first: a cancel may run code that touches this bag again.
        auto old = std::move(items_);
        items_.clear();
    }
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }

private:
    std::vector<Subscription> items_;
};

inline void Subscription::store(SubscriptionBag& bag) && {
    bag.insert(std::move(*this));
}

namespace detail {

template <class... Args>
class Channel : public ChannelCore, public std::enable_shared_from_this<Channel<Args...>> {
public:
    using Callback = std::function<void(Args...)>;

    Subscription subscribe(Callback callback) {
        auto id = nextId_++;
        slots_.push_back(std::make_shared<Slot>(Slot{id, std::move(callback), true}));
        return Subscription(this->weak_from_this(), id);
    }

    void unsubscribe(std::uint64_t id) override {
        for (auto it = slots_.begin(); it != slots_.end(); ++it) {
            if ((*it)->id != id)
                continue;
            (*it)->active = false;
            // While announcing, indices must stay put; the slot is swept afterwards.
            if (emitting_ > 0)
                needsSweep_ = true;
            else
                slots_.erase(it);
            return;
        }
    }

    // Subscribers added during the announcement do not receive it.
    void emit(Args... args) {
        auto keepAlive = this->shared_from_this();
        ++emitting_;
        struct Done {
            Channel& c;
            ~Done() {
                if (--c.emitting_ == 0 && c.needsSweep_) {
                    c.needsSweep_ = false;
                    std::erase_if(c.slots_, [](const auto& s) { return !s->active; });
                }
            }
        } done{*this};
        const auto count = slots_.size();
        for (std::size_t i = 0; i < count && i < slots_.size(); ++i) {
            auto slot = slots_[i]; // keeps the callback alive if it cancels itself
            if (slot->active)
                slot->callback(args...);
        }
    }

    std::size_t subscriberCount() const {
        std::size_t n = 0;
        for (const auto& s : slots_)
            n += s->active ? 1 : 0;
        return n;
    }

    bool ownerGone = false;

private:
    struct Slot {
        std::uint64_t id;
        Callback callback;
        bool active;
    };
    std::vector<std::shared_ptr<Slot>> slots_;
    std::uint64_t nextId_ = 1;
    int emitting_ = 0;
    bool needsSweep_ = false;
};

} // namespace detail

// A value whose every assignment is announced to its subscribers before it becomes
// visible: during the announcement the property still reads the old value, and the
// subscriber receives the new one as its argument (Combine's will-set publisher).
template <class T> class Published {
public:
    Published() : value_() {}
    Published(T initial) : value_(std::move(initial)) {}
    // A copy takes the value, not the subscribers.
    Published(const Published& other) : value_(other.value_) {}
    ~Published() { channel_->ownerGone = true; }

    Published& operator=(const Published& other) {
        set(other.value_);
        return *this;
    }
    Published& operator=(T v) {
        set(std::move(v));
        return *this;
    }

    const T& get() const { return value_; }
    operator const T&() const { return value_; }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }

    void set(T v) {
        auto channel = channel_;
        channel->emit(static_cast<const T&>(v));
        if (channel->ownerGone) // a subscriber destroyed the owner
            return;
        value_ = std::move(v);
        ++version_;
    }

    // How many assignments have taken effect; a caller can tell whether a value it assigned
    // is still the one held.
    std::uint64_t version() const { return version_; }

    // Like set, and hands back the value it replaced, so a caller that assigns often can
    // refill that value next time instead of allocating afresh. Empty if the owner went.
    T exchange(T v) {
        auto channel = channel_;
        channel->emit(static_cast<const T&>(v));
        if (channel->ownerGone)
            return T();
        ++version_;
        return std::exchange(value_, std::move(v));
    }

    // Changes a copy and assigns it, so in-place edits are announced like any assignment.
    template <class F> void update(F&& change) {
        T copy = value_;
        change(copy);
        set(std::move(copy));
    }

    // Every later assignment, announced before it is visible.
    Subscription observe(std::function<void(const T&)> callback) {
        return channel_->subscribe(std::move(callback));
    }
    // The current value at once, then every later assignment (Combine's `$property.sink`).
    Subscription sink(std::function<void(const T&)> callback) {
        auto subscription = channel_->subscribe(callback);
        callback(value_);
        return subscription;
    }

    std::size_t subscriberCount() const { return channel_->subscriberCount(); }

private:
    std::uint64_t version_ = 0;
    T value_;
    std::shared_ptr<detail::Channel<const T&>> channel_ = std::make_shared<detail::Channel<const T&>>();
};

// One-off events: each value sent reaches the subscribers of that moment; nothing is kept.
template <class T> class Subject {
public:
    Subject() = default;
    // A copy starts without subscribers.
    Subject(const Subject&) {}
    Subject& operator=(const Subject&) { return *this; }

    void send(const T& value) { channel_->emit(value); }
    Subscription sink(std::function<void(const T&)> callback) {
        return channel_->subscribe(std::move(callback));
    }
    std::size_t subscriberCount() const { return channel_->subscriberCount(); }

private:
    std::shared_ptr<detail::Channel<const T&>> channel_ = std::make_shared<detail::Channel<const T&>>();
};

template <> class Subject<void> {
public:
    Subject() = default;
    Subject(const Subject&) {}
    Subject& operator=(const Subject&) { return *this; }

    void send() { channel_->emit(); }
    Subscription sink(std::function<void()> callback) { return channel_->subscribe(std::move(callback)); }
    std::size_t subscriberCount() const { return channel_->subscriberCount(); }

private:
    std::shared_ptr<detail::Channel<>> channel_ = std::make_shared<detail::Channel<>>();
};

} // namespace platform

#pragma pop_macro("emit")
