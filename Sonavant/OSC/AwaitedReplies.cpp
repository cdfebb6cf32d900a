#include "Sonavant/OSC/AwaitedReplies.h"

#include "platform/Log.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

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

} // namespace

// One wait: whichever of reply and deadline comes first ends it, exactly once (both are
// decided under the tables' lock). An ended wait stops listening at once, so a later reply
// is kept for the next wait instead of going to a listener that no longer takes anything.
struct AwaitedReplies::Wait {
    std::string address;
    Completion completion;
    bool ended = false;
};

AwaitedReplies& AwaitedReplies::shared() {
    static auto* instance = new AwaitedReplies();
    return *instance;
}

AwaitedReplies::AwaitedReplies()
    : subjectQueue_(platform::DispatchQueue::makeSerial("osc.replySubjectQueue")) {}

void AwaitedReplies::run(Ended& ended) {
    for (auto& [completion, text] : ended)
        if (completion)
            completion(text);
}

void AwaitedReplies::wait(const std::string& address, double timeout, Completion completion) {
    std::unique_lock lock(mutex_);
    expireEarlyRepliesLocked(steadySeconds());
    if (auto early = earlyReplies.find(address); early != earlyReplies.end()) {
        std::string text = std::move(early->second->text);
        earlyOrder.erase(early->second);
        earlyReplies.erase(early);
        platform::consoleLog("⚡️ Using buffered reply for " + address + ": " + text);
        lock.unlock();
        completion(text);
        return;
    }
    auto wait = std::make_shared<Wait>(Wait{address, std::move(completion)});
    replyChannels[address].push_back(wait);
    lock.unlock();
    subjectQueue_->asyncAfter(seconds(timeout), [this, wait] {
        Ended ended;
        {
            std::lock_guard deadline(mutex_);
            endLocked(wait, std::nullopt, ended);
        }
        run(ended);
    });
}

void AwaitedReplies::endLocked(const std::shared_ptr<Wait>& wait, std::optional<std::string> text,
                               Ended& ended) {
    if (wait->ended)
        return;
    wait->ended = true;
    if (auto channel = replyChannels.find(wait->address); channel != replyChannels.end()) {
        std::erase(channel->second, wait);
        if (channel->second.empty())
            replyChannels.erase(channel);
    }
    ended.emplace_back(std::exchange(wait->completion, nullptr), std::move(text));
}

void AwaitedReplies::handleReply(std::string_view address,
                                 std::optional<std::string_view> firstArgumentText) {
    if (!firstArgumentText)
        return;
    const std::string text = replyText(*firstArgumentText);
    Ended ended;
    {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<Wait>> listening;
        for (const auto& [key, waits] : replyChannels) {
            if (!address.starts_with(key))
                continue;
            platform::consoleLog("📬 Publishing reply to " + key + ": " + text);
            listening.insert(listening.end(), waits.begin(), waits.end());
        }
        for (const auto& wait : listening)
            endLocked(wait, text, ended);
        if (listening.empty())
            bufferEarlyReplyLocked(address, text);
    }
    run(ended);
}

void AwaitedReplies::discardEarlyReply(const std::string& address) {
    std::lock_guard lock(mutex_);
    if (auto early = earlyReplies.find(address); early != earlyReplies.end()) {
        earlyOrder.erase(early->second);
        earlyReplies.erase(early);
    }
}

std::string AwaitedReplies::replyText(std::string_view argumentText) {
    // The usual answer, {"data":"..."} around plain ASCII text, needs no parser; anything
    // with escapes, other members, spaces or other bytes takes the JSON road.
    constexpr std::string_view head = "{\"data\":\"", tail = "\"}";
    const std::string_view text = argumentText;
    if (text.size() >= head.size() + tail.size() && text.starts_with(head) && text.ends_with(tail)) {
        const auto body = text.substr(head.size(), text.size() - head.size() - tail.size());
        if (std::all_of(body.begin(), body.end(),
                        [](unsigned char c) { return c >= 0x20 && c < 0x80 && c != '"' && c != '\\'; }))
            return std::string(body);
    }
    auto json = nlohmann::json::parse(argumentText.begin(), argumentText.end(), nullptr, false);
    if (!json.is_discarded() && json.is_object()) {
        auto data = json.find("data");
        if (data != json.end() && data->is_string())
            return data->get<std::string>();
    }
    return std::string(argumentText);
}

void AwaitedReplies::bufferEarlyReplyLocked(std::string_view address, const std::string& text) {
    platform::consoleLog({"🕒 Buffering early reply for ", address, ": ", text});
    const double now = steadySeconds();
    expireEarlyRepliesLocked(now);
    // A flood of replies nobody awaits reuses the kept entries (list node, table node and
    // their strings) instead of allocating new ones for each.
    auto moveToBack = [&](std::list<EarlyReply>::iterator entry) {
        earlyOrder.splice(earlyOrder.end(), earlyOrder, entry);
        entry->text = text;
        entry->storedAt = now;
    };
    if (auto same = earlyReplies.find(address); same != earlyReplies.end())
        return moveToBack(same->second);
    if (earlyReplies.size() >= earlyReplyLimit) {
        const auto oldest = earlyOrder.begin();
        auto node = earlyReplies.extract(oldest->address);
        oldest->address = address;
        node.key() = address;
        moveToBack(oldest);
        earlyReplies.insert(std::move(node));
        return;
    }
    earlyOrder.push_back({std::string(address), text, now});
    earlyReplies.emplace(std::string(address), std::prev(earlyOrder.end()));
}

void AwaitedReplies::expireEarlyRepliesLocked(double now) {
    // Kept in the order they came, so the stale ones are at the front.
    while (!earlyOrder.empty() && now - earlyOrder.front().storedAt > earlyReplyLifetime) {
        earlyReplies.erase(earlyOrder.front().address);
        earlyOrder.pop_front();
    }
}

std::size_t AwaitedReplies::bufferedReplyCount() {
    std::lock_guard lock(mutex_);
    expireEarlyRepliesLocked(steadySeconds());
    return earlyReplies.size();
}

std::size_t AwaitedReplies::channelCount() {
    std::lock_guard lock(mutex_);
    return replyChannels.size();
}
