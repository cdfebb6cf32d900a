#include "platform/NotificationCenter.h"

#include "platform/Dispatch.h"
#include "platform/RunLoop.h"

#include <map>

namespace platform {

struct NotificationCenter::Impl {
    std::map<std::string, Subject<Notification>> subjects; // main thread only

    void deliver(const Notification& notification) {
        auto it = subjects.find(notification.name);
        if (it != subjects.end())
            it->second.send(notification);
    }
};

NotificationCenter::NotificationCenter() : impl_(std::make_shared<Impl>()) {}

NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* center = new NotificationCenter; // outlives any late main-queue post
    return *center;
}

Subscription NotificationCenter::addObserver(const std::string& name,
                                             std::function<void(const Notification&)> block) {
    return impl_->subjects[name].sink(std::move(block));
}

void NotificationCenter::post(const std::string& name, Value userInfo) {
    Notification notification{name, std::move(userInfo)};
    if (MainRunLoop::isMainThread()) {
        auto keepAlive = impl_; // an observer may destroy this centre
        keepAlive->deliver(notification);
        return;
    }
    std::weak_ptr<Impl> weak = impl_;
    DispatchQueue::main()->async([weak, notification = std::move(notification)] {
        if (auto impl = weak.lock())
            impl->deliver(notification);
    });
}

} // namespace platform
