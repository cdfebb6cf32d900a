#pragma once
// Answers of show-control software to the system's own requests ("/reply" in front of the
// request's address, one JSON text argument). A caller waits for one address with a
// deadline; an answer nobody waits for yet is kept a while under its exact address, so a
// request may be sent before its wait is registered. The tables are process-wide (they
// outlive a receiver replaced on a port change) and live on "osc.replySubjectQueue".

#include "platform/Dispatch.h"
#include "platform/Observable.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class AwaitedReplies {
public:
    using Completion = std::function<void(const std::optional<std::string>&)>;

    // Early replies are few and short-lived in practice; anything a peer sends beyond
    // this is dropped, oldest first.
    static constexpr std::size_t earlyReplyLimit = 64;
    static constexpr double earlyReplyLifetime = 30.0; // seconds

    static AwaitedReplies& shared();

    // Registers a wait for `address`; `completion` runs once on the subject queue, with the
    // reply text or, after `timeout` seconds, with none.
    void wait(const std::string& address, double timeout, Completion completion);

    // A "/reply/" message: its address and the text of its first argument (none when it
    // has no arguments). Returns at once.
    void handleReply(const std::string& address, std::optional<std::string> firstArgumentText);

    // Forgets a kept reply for `address` (one that came too late for an earlier wait), so
    // the next wait takes only an answer to a request sent from now on. Replies handed in
    // before this call are dropped too. Not on the reply queues themselves.
    void discardEarlyReply(const std::string& address);

    // The answer in a reply argument: the string "data" member of a JSON object, or else
    // the whole text.
    static std::string replyText(const std::string& argumentText);

    // For checks: sizes of the two tables, read on the subject queue.
    std::size_t bufferedReplyCount();
    std::size_t channelCount();

    const platform::DispatchQueuePtr& replyQueue() const { return replyQueue_; }
    const platform::DispatchQueuePtr& subjectQueue() const { return subjectQueue_; }

private:
    AwaitedReplies();
    void publishReply(const std::string& address, const std::string& text);
    void bufferEarlyReply(const std::string& address, const std::string& text);
    void expireEarlyReplies();
    void removeChannelIfUnused(const std::string& address);

    struct EarlyReply {
        std::string text;
        double storedAt = 0; // seconds on the steady clock
    };

    platform::DispatchQueuePtr replyQueue_;
    platform::DispatchQueuePtr subjectQueue_;
    // Owned by subjectQueue_.
    std::map<std::string, std::shared_ptr<platform::Subject<std::string>>> replyChannels;
    std::map<std::string, EarlyReply> earlyReplies;
};
