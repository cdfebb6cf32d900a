#pragma once
// A pointer that a thread of its own may use while the object lives. The owner ends the lease
// in its destructor, which waits for a use under way; a use after that finds nothing.

#include <memory>
#include <mutex>

namespace platform {

template <class T> class Lease {
public:
    explicit Lease(T* object) : object_(object) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    // Runs `use` with the object while it holds the lease; false when the object is gone.
    template <class Use> bool use(Use&& use) {
        std::lock_guard lock(mutex_);
        if (!object_)
            return false;
        use(*object_);
        return true;
    }
    void end() {
        std::lock_guard lock(mutex_);
        object_ = nullptr;
    }

private:
    std::mutex mutex_;
    T* object_;
};

} // namespace platform
