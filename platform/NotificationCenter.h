#pragma once
// Named notifications, posted and observed on the main thread. A post from another thread
// is delivered on a later turn of the main queue.

#include "platform/Observable.h"
#include "platform/Value.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

struct Notification {
    std::string name;
    Value userInfo;
};

class NotificationCenter {
public:
    NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // The process-wide centre.
    static NotificationCenter& defaultCenter();

    // Observes one name until the token is dropped. Main thread.
    Subscription addObserver(const std::string& name, std::function<void(const Notification&)> block);

    // On the main thread the observers run before post returns; from any other thread
    // they run on the main queue.
    void post(const std::string& name, Value userInfo = {});

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

} // namespace platform
