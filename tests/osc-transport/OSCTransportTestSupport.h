#pragma once
// A handler that records every delivered message with its time tag, with bounded waits.

#include "OSCCore/OSCMessage.h"
#include "OSCCore/OSCTimeTag.h"
#include "osc-transport/OSCUDPPacketHandler.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace osctest {

using namespace std::chrono_literals;

struct Delivery {
    Delivery(const OSCMessage& message, const OSCTimeTag& timeTag)
        : address(message.addressPattern().rawAddress()), message(message), timeTag(timeTag) {}
    std::string address;
    OSCMessage message;
    OSCTimeTag timeTag;
};

class Recorder {
public:
    OSCUDPPacketHandler::Handler handler() {
        return [state = state_](const OSCMessage& message, const OSCTimeTag& timeTag) {
            {
                std::lock_guard lock(state->mutex);
                state->deliveries.emplace_back(message, timeTag);
            }
            state->cv.notify_all();
        };
    }
    bool waitForCount(std::size_t count, std::chrono::milliseconds deadline = 10s) {
        std::unique_lock lock(state_->mutex);
        return state_->cv.wait_for(lock, deadline, [&] { return state_->deliveries.size() >= count; });
    }
    std::vector<Delivery> deliveries() const {
        std::lock_guard lock(state_->mutex);
        return state_->deliveries;
    }
    std::vector<std::string> addresses() const {
        std::vector<std::string> result;
        for (const auto& d : deliveries())
            result.push_back(d.address);
        return result;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        std::vector<Delivery> deliveries;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace osctest
