#pragma once
// Answers of show-control software to the system's own requests ("/reply" in front of the
// request's address, one JSON text argument). A caller waits for one address with a
// deadline; an answer nobody waits for yet is kept a while under its exact address, so a
// request may be sent before its wait is registered. The tables are process-wide (they
// outlive a receiver replaced on a port change) and guarded by one lock: a reply is handled
// on the receiver's thread in one step, in arrival order, without a queue of its own.

#include "platform/Dispatch.h"

#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class AwaitedReplies {
public:
    using Completion = std::function<void(const std::optional<std::string>&)>;

    // Early replies are few and short-lived in practice; anything a peer sends beyond
    // this is dropped, oldest first.
    static constexpr std::size_t earlyReplyLimit = 64;
    static constexpr double earlyReplyLifetime = 30.0; // seconds

    static AwaitedReplies& shared();

    // Registers a wait for `address`; `completion` runs once, with the reply text or, after
    // `timeout` seconds, with none: at once on the calling thread when a kept reply answers
    // it, else on the thread that handles the reply, or on the deadline queue. Never under
    // the tables' lock, so it may wait again.
    void wait(const std::string& address, double timeout, Completion completion);

    // A "/reply/" message: its address and the text of its first argument (none when it
    // has no arguments). Done when it returns: published to the waits registered before it,
    // or kept.
    void handleReply(std::string_view address, std::optional<std::string_view> firstArgumentText);

    // Forgets a kept reply for `address` (one that came too late for an earlier wait), so
    // the next wait takes only an answer to a request sent from now on. Replies handed in
    // before this call are dropped too.
    void discardEarlyReply(const std::string& address);

    // The answer in a reply argument: the string "data" member of a JSON object, or else
    // the whole text.
    static std::string replyText(std::string_view argumentText);

    // For checks: how many replies are kept, and under how many addresses waits listen.
    std::size_t bufferedReplyCount();
    std::size_t channelCount();

    // Where deadlines end their waits.
    const platform::DispatchQueuePtr& subjectQueue() const { return subjectQueue_; }

private:
    AwaitedReplies();
    struct Wait;
    using Ended = std::vector<std::pair<Completion, std::optional<std::string>>>;
    void bufferEarlyReplyLocked(std::string_view address, const std::string& text);
    void expireEarlyRepliesLocked(double now);
    void endLocked(const std::shared_ptr<Wait>& wait, std::optional<std::string> text, Ended& ended);
    static void run(Ended& ended);

    struct EarlyReply {
        std::string address;
        std::string text;
        double storedAt = 0; // seconds on the steady clock
    };

    platform::DispatchQueuePtr subjectQueue_;
    std::mutex mutex_;
    // Waits listening, by the address they asked for: a reply goes to every key that is a
    // prefix of its address.
    std::map<std::string, std::vector<std::shared_ptr<Wait>>> replyChannels;
    // Kept replies, oldest first, and where each address's reply stands in that order.
    std::list<EarlyReply> earlyOrder;
    // Looked up by the received address in place, without a copy of it.
    struct AddressHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view address) const {
            return std::hash<std::string_view>{}(address);
        }
    };
    std::unordered_map<std::string, std::list<EarlyReply>::iterator, AddressHash, std::equal_to<>>
        earlyReplies;
};
