#include "Sonavant/engine/ContentView.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>

using platform::consoleLog;

namespace {

using Clock = SendTimeTable::Clock;

constexpr auto interval =
    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(ContentView::throttleInterval));

// The level as the whole number a desk takes: halves away from zero, and only when it fits
// the 32-bit integer argument.
std::optional<std::int32_t> wholeNumberLevel(double level) {
    const double rounded = std::round(level);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

void refuseLevel(const std::string& key, double level) {
    consoleLog("Error: Level " + std::to_string(level) + " for key " + key +
               " does not fit the desk's argument; not sent.");
}

// The wire step of one level, after the throttle.
void deliverLevel(const std::shared_ptr<DeskOutlet>& outlet, const Binding<std::string>& host,
                  DeskTransport desk, const std::string& key, const std::string& address, std::uint16_t port,
                  double level) {
    if (!desk.UDP) {
        consoleLog("Desk UDP property is false – sending via TCP.");
        const auto whole = wholeNumberLevel(level);
        if (!whole)
            return refuseLevel(key, level);
        consoleLog("Formatted mapped level (as whole number): " + std::to_string(*whole));
        const std::string text = address + " " + std::to_string(*whole) + "\n";
        consoleLog("Constructed TCP message: " + text);
        outlet->sendTCP(text, address, host.get(), port);
        return;
    }
    if (desk.OSCFloat) {
        if (!std::isfinite(level) || std::fabs(level) > std::numeric_limits<float>::max())
            return refuseLevel(key, level);
        outlet->sendUDP(true, address, host.get(), port, OSCSendArgument(level));
        return;
    }
    const auto whole = wholeNumberLevel(level);
    if (!whole)
        return refuseLevel(key, level);
    outlet->sendUDP(true, address, host.get(), port, OSCSendArgument(*whole));
}

// Counts blocks of sends (and held sends) from their scheduling until they have been
// handed to the outlet.
void blocksScheduled(const ContentView::DeskSendContext& context, std::size_t blocks) {
    if (context.staggeredOutstanding)
        context.staggeredOutstanding->fetch_add(blocks, std::memory_order_acq_rel);
}
void blockSent(const ContentView::DeskSendContext& context) {
    if (context.staggeredOutstanding)
        context.staggeredOutstanding->fetch_sub(1, std::memory_order_acq_rel);
}

void releaseHeldSend(const ContentView::DeskSendContext& context, const std::string& key);

void scheduleRelease(const ContentView::DeskSendContext& context, const std::string& key,
                     Clock::duration wait) {
    platform::DispatchQueue::global()->asyncAfter(std::max(wait, Clock::duration::zero()),
                                                  [context, key] { releaseHeldSend(context, key); });
}

void releaseHeldSend(const ContentView::DeskSendContext& context, const std::string& key) {
    auto due = context.lastSendTime->release(key, Clock::now(), interval);
    if (due.send)
        due.send();
    else if (due.waitAgain)
        return scheduleRelease(context, key, *due.waitAgain);
    blockSent(context);
}

// A send id x 10 ms from now; a day at most, so the moment stays within what a clock holds.
std::chrono::nanoseconds staggerDelay(std::int64_t speakerID) {
    constexpr std::int64_t nanosecondsPerID = 10'000'000;
    constexpr std::int64_t longest = 86400LL * 100;
    return std::chrono::nanoseconds(std::clamp<std::int64_t>(speakerID, 0, longest) * nanosecondsPerID);
}

// Sends released together; the last block to finish reports that all have left.
struct ReleasedSends {
    std::atomic<std::size_t> remaining{0};
    std::function<void()> left;
    void blockDone() {
        if (remaining.fetch_sub(1) == 1)
            left();
    }
};

// Each loudspeaker's block of sends, its id x 10 ms after now.
void scheduleBatches(const ContentView::DeskSendContext& context,
                     std::deque<ContentView::StaggeredBatch> batches, DeskTransport desk, std::uint16_t port,
                     std::shared_ptr<ReleasedSends> released) {
    blocksScheduled(context, batches.size());
    const auto decided = std::chrono::steady_clock::now();
    std::chrono::nanoseconds soonest = staggerDelay(batches.front().speakerID);
    for (const auto& batch : batches)
        soonest = std::min(soonest, staggerDelay(batch.speakerID));
    // The main thread hands over once, when the first loudspeaker is due; waking no thread
    // while earlier sends are still waiting.
    platform::DispatchQueue::global()->asyncAfter(
        soonest, [context, desk, port, decided, released, batches = std::move(batches)]() mutable {
            for (auto& batch : batches) {
                auto run = [context, desk, port, released, sends = std::move(batch.sends)] {
                    for (const auto& send : sends)
                        ContentView::sendLevelToDesk(context, *send.key, desk, *send.address, port,
                                                     send.level, send.sequence);
                    blockSent(context);
                    if (released)
                        released->blockDone();
                };
                const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
                    decided + staggerDelay(batch.speakerID) - std::chrono::steady_clock::now());
                if (wait <= std::chrono::nanoseconds::zero())
                    run();
                else
                    platform::DispatchQueue::global()->asyncAfter(wait, std::move(run));
            }
        });
}

} // namespace

bool ContentView::levelNeedsSend(MappedLevel& last, std::int64_t repeatBase, double level) {
    if (last.value != level) {
        last = {level, 1};
        return true;
    }
    const std::int64_t count = last.count + 1;
    if (count % repeatDivisor(repeatBase) != 0) {
        last.count = count;
        return false;
    }
    last.count = 0;
    return true;
}

MappedLevelRow& ContentView::mappedLevelRow(const platform::UUID& source) {
    MappedLevelRow& row = lastMappedLevels_[source];
    if (row.layout == mappedLevelLayout_)
        return row;
    std::unordered_map<std::int64_t, std::size_t> before;
    for (std::size_t j = 0; j < row.speakers.size(); ++j)
        before.emplace(row.speakers[j], j);
    MappedLevelRow laid{mappedLevelLayout_, mappedLevelSpeakerIDs_, {}, {}, {}};
    laid.levels.resize(laid.speakers.size());
    laid.known.resize(laid.speakers.size());
    laid.sent.resize(laid.speakers.size());
    for (std::size_t i = 0; i < laid.speakers.size(); ++i) {
        if (auto it = before.find(laid.speakers[i]); it != before.end()) {
            laid.levels[i] = row.levels[it->second];
            laid.known[i] = row.known[it->second];
            laid.sent[i] = std::move(row.sent[it->second]);
            before.erase(it);
        }
    }
    for (std::size_t j = 0; j < row.speakers.size(); ++j) {
        if (before.count(row.speakers[j]) && row.known[j]) {
            laid.speakers.push_back(row.speakers[j]);
            laid.levels.push_back(row.levels[j]);
            laid.known.push_back(1);
            laid.sent.push_back(std::move(row.sent[j]));
        }
    }
    row = std::move(laid);
    return row;
}

std::vector<std::pair<DestinationKey, MappedLevel>> ContentView::lastMappedLevels() const {
    std::vector<std::pair<DestinationKey, MappedLevel>> all;
    for (const auto& [source, row] : lastMappedLevels_)
        for (std::size_t i = 0; i < row.speakers.size(); ++i)
            if (row.known[i])
                all.push_back({{source, row.speakers[i]}, row.levels[i]});
    return all;
}

void ContentView::scheduleStaggeredSend(const Speaker& speaker, const std::string& address,
                                        DeskTransport desk, std::uint16_t port, const std::string& key,
                                        double level) {
    scheduleStaggeredSends(
        speaker, desk, port,
        {StaggeredSend{std::make_shared<const std::string>(address), std::make_shared<const std::string>(key),
                       level, ++nextSendSequence_}});
}

void ContentView::scheduleStaggeredSends(const Speaker& speaker, DeskTransport desk, std::uint16_t port,
                                         std::vector<StaggeredSend> sends) {
    if (sends.empty())
        return;
    if (heldLevelSends_) {
        std::deque<StaggeredBatch> one;
        one.push_back({speaker.id, std::move(sends)});
        heldLevelSends_->push_back({std::move(one), desk, port});
        return;
    }
    const DeskSendContext context = deskSendContext();
    blocksScheduled(context, 1);
    platform::DispatchQueue::global()->asyncAfter(
        staggerDelay(speaker.id), [context, desk, port, sends = std::move(sends)] {
            for (const StaggeredSend& send : sends)
                sendLevelToDesk(context, *send.key, desk, *send.address, port, send.level, send.sequence);
            blockSent(context);
        });
}

void ContentView::scheduleStaggeredSends(std::deque<StaggeredBatch> batches, DeskTransport desk,
                                         std::uint16_t port) {
    if (batches.empty())
        return;
    if (heldLevelSends_) {
        heldLevelSends_->push_back({std::move(batches), desk, port});
        return;
    }
    scheduleBatches(deskSendContext(), std::move(batches), desk, port, nullptr);
}

void ContentView::holdLevelSends() {
    if (!heldLevelSends_)
        heldLevelSends_.emplace();
}

void ContentView::releaseLevelSends(std::function<void()> left) {
    auto held = std::exchange(heldLevelSends_, std::nullopt);
    const DeskSendContext context = deskSendContext();
    auto released = std::make_shared<ReleasedSends>();
    released->left = [outlet = context.outlet, left = std::move(left)] {
        outlet->afterSends([left] { platform::DispatchQueue::main()->async(left); });
    };
    std::size_t blocks = 0;
    if (held)
        for (const HeldSends& group : *held)
            blocks += group.batches.size();
    if (blocks == 0)
        return released->left();
    released->remaining = blocks;
    for (HeldSends& group : *held)
        if (!group.batches.empty())
            scheduleBatches(context, std::move(group.batches), group.desk, group.port, released);
}

void ContentView::sendLevelToDesk(const std::string& key, const MixingDesk& desk, const std::string& address,
                                  std::uint16_t port, double level) {
    sendLevelToDesk(deskSendContext(), key, DeskTransport{desk.UDP, desk.OSCFloat}, address, port, level,
                    ++nextSendSequence_);
}

void ContentView::sendLevelToDesk(const DeskSendContext& context, const std::string& key, DeskTransport desk,
                                  const std::string& address, std::uint16_t port, double level,
                                  std::uint64_t sequence) {
    // The table keeps a held send: the send must not keep the table.
    SendTimeTable::Release send = [outlet = context.outlet, host = context.targetDeskIP,
                                   table = std::weak_ptr<SendTimeTable>(context.lastSendTime), desk, key,
                                   address, port, level, sequence] {
        if (auto sends = table.lock())
            sends->deliver(address, sequence,
                           [&] { deliverLevel(outlet, host, desk, key, address, port, level); });
    };
    SendTimeTable::Release held = heldUntilOutputOn(context.outputOn, send);
    const auto admission = context.lastSendTime->admit(key, sequence, Clock::now(), interval,
                                                       !context.disableOSCThrottling->get(), held);
    switch (admission.verdict) {
    case SendTimeTable::Verdict::send:
        send();
        return;
    case SendTimeTable::Verdict::holdFirst:
        blocksScheduled(context, 1);
        scheduleRelease(context, key, admission.wait);
        [[fallthrough]];
    case SendTimeTable::Verdict::held:
    case SendTimeTable::Verdict::dropped:
        consoleLog("Throttling update for key " + key + "; skipping send.");
        return;
    }
}
