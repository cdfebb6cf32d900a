#include "Sonavant/OSC/AwaitedReplies.h"

#include "platform/Log.h"

#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

platform::Duration seconds(double value) {
    if (!(value > 0)) // negative, zero and NaN alike
        return platform::Duration::zero();
    value = std::min(value, 365.0 * 24 * 3600);
    return std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(value));
}

// One wait: whichever of reply and deadline comes first ends it, exactly once. An ended
// wait stops listening at once, so a later reply is kept for the next wait instead of
// going to a listener that no longer takes anything.
struct PendingWait {
    AwaitedReplies::Completion completion;
    bool ended = false;
    platform::Subscription subscription;
    std::function<void()> onEnded;

    void end(const std::optional<std::string>& text) {
        if (ended)
            return;
        ended = true;
        subscription.cancel();
        auto done = std::move(completion);
        completion = nullptr;
        if (done)
            done(text);
        if (onEnded)
            std::exchange(onEnded, nullptr)();
    }
};

} // namespace

AwaitedReplies& AwaitedReplies::shared() {
    static auto* instance = new AwaitedReplies();
    return *instance;
}

AwaitedReplies::AwaitedReplies()
    : replyQueue_(platform::DispatchQueue::makeSerial("osc.replyQueue")),
      subjectQueue_(platform::DispatchQueue::makeSerial("osc.replySubjectQueue")) {}

void AwaitedReplies::wait(const std::string& address, double timeout, Completion completion) {
    subjectQueue_->async([this, address, timeout, completion = std::move(completion)]() mutable {
        expireEarlyReplies();
        if (auto early = earlyReplies.find(address); early != earlyReplies.end()) {
            auto text = std::move(early->second.text);
            earlyReplies.erase(early);
            platform::consoleLog("⚡️ Using buffered reply for " + address + ": " + text);
            completion(text);
            return;
        }
        auto& channel = replyChannels[address];
        if (!channel)
            channel = std::make_shared<platform::Subject<std::string>>();
        auto pending = std::make_shared<PendingWait>();
        pending->completion = std::move(completion);
        pending->subscription =
            channel->sink([weak = std::weak_ptr<PendingWait>(pending)](const std::string& text) {
                if (auto wait = weak.lock())
                    wait->end(text);
            });
        // A channel nobody listens to any more goes; removed in a later step, since the end
        // may come from inside the channel's own announcement.
        pending->onEnded = [this, address] {
            subjectQueue_->async([this, address] { removeChannelIfUnused(address); });
        };
        subjectQueue_->asyncAfter(seconds(timeout), [pending] { pending->end(std::nullopt); });
        // The clean-up after the deadline; the wait has surely ended by then.
        subjectQueue_->asyncAfter(seconds(timeout) + std::chrono::seconds(1), [this, address, pending] {
            pending->end(std::nullopt);
            removeChannelIfUnused(address);
        });
    });
}

void AwaitedReplies::removeChannelIfUnused(const std::string& address) {
    auto it = replyChannels.find(address);
    if (it != replyChannels.end() && it->second->subscriberCount() == 0)
        replyChannels.erase(it);
}

void AwaitedReplies::handleReply(const std::string& address, std::optional<std::string> firstArgumentText) {
    replyQueue_->async([this, address, argument = std::move(firstArgumentText)] {
        if (!argument)
            return;
        auto text = replyText(*argument);
        subjectQueue_->async([this, address, text] { publishReply(address, text); });
    });
}

void AwaitedReplies::discardEarlyReply(const std::string& address) {
    // Behind every reply already handed in (both queues only ever hop forward, so waiting
    // for them here cannot close a circle), and before any wait registered afterwards.
    replyQueue_->sync([] {});
    subjectQueue_->sync([this, &address] { earlyReplies.erase(address); });
}

std::string AwaitedReplies::replyText(const std::string& argumentText) {
    auto json = nlohmann::json::parse(argumentText, nullptr, false);
    if (!json.is_discarded() && json.is_object()) {
        auto data = json.find("data");
        if (data != json.end() && data->is_string())
            return data->get<std::string>();
    }
    return argumentText;
}

void AwaitedReplies::publishReply(const std::string& address, const std::string& text) {
    std::vector<std::pair<std::string, std::shared_ptr<platform::Subject<std::string>>>> listening;
    for (const auto& [key, channel] : replyChannels)
        if (address.compare(0, key.size(), key) == 0 && channel->subscriberCount() > 0)
            listening.emplace_back(key, channel);
    for (const auto& [key, channel] : listening) {
        platform::consoleLog("📬 Publishing reply to " + key + ": " + text);
        channel->send(text);
    }
    // Buffered in the same step: a wait registered right behind this reply must find it.
    if (listening.empty())
        bufferEarlyReply(address, text);
}

void AwaitedReplies::bufferEarlyReply(const std::string& address, const std::string& text) {
    platform::consoleLog("🕒 Buffering early reply for " + address + ": " + text);
    expireEarlyReplies();
    if (earlyReplies.size() >= earlyReplyLimit && !earlyReplies.contains(address)) {
        auto oldest = earlyReplies.begin();
        for (auto it = earlyReplies.begin(); it != earlyReplies.end(); ++it)
            if (it->second.storedAt < oldest->second.storedAt)
                oldest = it;
        earlyReplies.erase(oldest);
    }
    earlyReplies[address] = {text, steadySeconds()};
}

void AwaitedReplies::expireEarlyReplies() {
    const double now = steadySeconds();
    std::erase_if(earlyReplies,
                  [now](const auto& entry) { return now - entry.second.storedAt > earlyReplyLifetime; });
}

std::size_t AwaitedReplies::bufferedReplyCount() {
    return subjectQueue_->syncResult([this] {
        expireEarlyReplies();
        return earlyReplies.size();
    });
}

std::size_t AwaitedReplies::channelCount() {
    return subjectQueue_->syncResult([this] { return replyChannels.size(); });
}
