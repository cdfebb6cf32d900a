#include "Sonavant/OSC/OSCMonitor.h"

#include <chrono>
#include <mutex>

using namespace std::chrono_literals;

namespace {

std::mutex registeredMutex;
std::weak_ptr<OSCMonitor> registeredMonitor;

} // namespace

std::shared_ptr<OSCMonitor> OSCMonitor::make() {
    return std::shared_ptr<OSCMonitor>(new OSCMonitor());
}

OSCMonitor::OSCMonitor()
    : oscLogQueue(platform::DispatchQueue::makeSerial("oscMonitor.logQueue", platform::QoS::background)) {}

void OSCMonitor::logOutput(const std::string& line) {
    std::weak_ptr<OSCMonitor> weak = weak_from_this();
    oscLogQueue->async([weak, line] {
        auto self = weak.lock();
        if (!self)
            return;
        self->outputBuffer.push_back(line);
        if (self->outputWorkItem)
            return;
        self->outputWorkItem = platform::WorkItem::make([weak] {
            if (auto monitor = weak.lock())
                monitor->flushOutput();
        });
        self->oscLogQueue->asyncAfter(1s, self->outputWorkItem);
    });
    flashSentIndicator();
}

void OSCMonitor::flushOutput() {
    std::string batch;
    for (const auto& line : outputBuffer) {
        batch += line;
        batch += '\n';
    }
    std::weak_ptr<OSCMonitor> weak = weak_from_this();
    platform::DispatchQueue::main()->async([weak, batch = std::move(batch)] {
        if (auto self = weak.lock())
            self->outputLog = self->outputLog.get() + batch;
    });
    outputBuffer.clear();
    outputWorkItem.reset();
}

void OSCMonitor::flashSentIndicator() {
    std::weak_ptr<OSCMonitor> weak = weak_from_this();
    platform::DispatchQueue::main()->async([weak] {
        auto self = weak.lock();
        if (!self)
            return;
        self->sentIndicatorActive = true;
        platform::DispatchQueue::main()->asyncAfter(200ms, [weak] {
            if (auto monitor = weak.lock())
                monitor->sentIndicatorActive = false;
        });
    });
}

void OSCMonitor::setRegistered(const std::shared_ptr<OSCMonitor>& monitor) {
    std::lock_guard lock(registeredMutex);
    registeredMonitor = monitor;
}

std::shared_ptr<OSCMonitor> OSCMonitor::registered() {
    std::lock_guard lock(registeredMutex);
    return registeredMonitor.lock();
}
