#pragma once
// The OSC traffic log: sent-message lines gathered on a background queue and handed to the
// published log in batches, at most one a second, and a sent indicator that flashes for
// 0.2 s per logged send. The input half has no operation yet.

#include "platform/Dispatch.h"
#include "platform/Observable.h"

#include <memory>
#include <string>
#include <vector>

class OSCMonitor : public std::enable_shared_from_this<OSCMonitor> {
public:
    static std::shared_ptr<OSCMonitor> make();

    // Published properties: read and observed on the main thread only.
    platform::Published<std::string> outputLog;
    platform::Published<std::string> inputLog;
    platform::Published<bool> sentIndicatorActive{false};
    platform::Published<bool> receivedIndicatorActive{false};

    // Any thread; returns at once.
    void logOutput(const std::string& line);
    void flashSentIndicator();

    // The monitor the send entry reports to, if any (held weakly).
    static void setRegistered(const std::shared_ptr<OSCMonitor>& monitor);
    static std::shared_ptr<OSCMonitor> registered();

private:
    OSCMonitor();
    void flushOutput();

    // Owned by oscLogQueue.
    std::vector<std::string> outputBuffer;
    std::vector<std::string> inputBuffer;
    std::shared_ptr<platform::WorkItem> outputWorkItem;
    std::shared_ptr<platform::WorkItem> inputWorkItem;
    platform::DispatchQueuePtr oscLogQueue;
};
