#pragma once
// What a fade-cue run needs of the main view and the network, as plain functions, so a
// test can stand in for any of them. Everything is called on the main thread.

#include "OSCCore/OSCMessage.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct FadeCueDialogue {
    using ReplyCompletion = std::function<void(const std::optional<std::string>&)>;

    // Sends one message to QLab at host:port; errors are ignored.
    std::function<void(const OSCMessage&, const std::string& host, std::uint16_t port)> send;
    // Waits for the reply to a "/reply/..." address; the completion runs on the main queue
    // with the reply text or, after `timeout` seconds, with none.
    std::function<void(const std::string& address, double timeout, ReplyCompletion)> awaitReply;
    // Drops a reply to `address` that came too late for an earlier wait.
    std::function<void(const std::string& address)> discardStaleReply;
    // The "QLab did not reply" alert: true when the operator chose "Generate Anyway".
    std::function<bool()> generateWithoutReply;
    // The level engine: every level of the show from the present positions.
    std::function<void()> updateRelativeLevels;
    // The desk sends of the passes run after a hold wait; the release lets them go and runs
    // its completion on the main queue once all of them have left.
    std::function<void()> holdLevelSends;
    std::function<void(std::function<void()> left)> releaseLevelSends;
    // The desk send throttle switch.
    std::function<bool()> throttlingDisabled;
    std::function<void(bool)> setThrottlingDisabled;
};
