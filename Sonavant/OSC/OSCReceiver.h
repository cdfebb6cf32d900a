#pragma once
// The system's OSC inlet. It listens on the receive port, matches each message's address
// against one fixed table in a fixed order and calls the callback its owner installed:
// remote control (cues, snapshots, tracking, loudspeakers), DS100 position replies, and
// replies of show-control software, which go to the awaited-reply tables.
//
// Messages are dispatched one at a time, in arrival order, on the server's receive queue
// (so a stop never overtakes a play; a bundle's messages in their order, with no hop per
// message), and every callback except onStopPlayback runs there; the owner's callbacks hop
// to the main queue themselves, and none of them may block. Set the callbacks before
// start() and leave them while the receiver runs. No non-finite number and no loudspeaker
// id outside the 64-bit range ever reaches a callback.

#include "OSCCore/OSCMessage.h"
#include "Sonavant/OSC/AwaitedReplies.h"
#include "Sonavant/model/SoundscapeSpeaker.h"
#include "osc-transport/OSCServer.h"
#include "platform/Dispatch.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class OSCReceiver : public std::enable_shared_from_this<OSCReceiver> {
public:
    // Creates the server on `port` (0 lets the system choose); nothing is bound yet.
    static std::shared_ptr<OSCReceiver> make(std::uint16_t port);
    ~OSCReceiver();
    OSCReceiver(const OSCReceiver&) = delete;
    OSCReceiver& operator=(const OSCReceiver&) = delete;

    std::function<void(double cueNumber)> onCuePlay;
    std::function<void(std::int64_t snapshotNumber)> onSnapshotRecall;
    std::function<void()> onStopPlayback; // called on the main queue
    std::function<void(std::int64_t sourceNumber, double x, double y)> onTrackPosition;
    std::function<void(std::int64_t speakerID, double x, double y)> onSpeakerPosition;
    std::function<void(std::int64_t speakerID, double focus)> onSpeakerFocus;
    std::function<void(std::int64_t speakerID, double width)> onSpeakerWidth;
    std::function<void(const SoundscapeSpeaker& speaker)> onSoundscapeSpeaker;
    std::function<void(std::int64_t sourceNumber, float x, float y)> onSoundscapeObjectPosition;

    // Binds the receive port and starts listening; throws the server's error (a port in use
    // gives the address-in-use error) after printing it.
    void start();
    // Closes the port; the receiver may be started again.
    void stop();
    // The port listened on (0 while stopped).
    std::uint16_t localPort() const;

    // Waits for the reply of show-control software to `address` ("/reply/..."): the
    // completion runs once on `queue` with the reply text, or with none after `timeout`
    // seconds. A reply that came before the call is taken from the early-reply buffer.
    void awaitReply(const std::string& address, double timeout,
                    std::function<void(const std::optional<std::string>&)> completion,
                    platform::DispatchQueuePtr queue = platform::DispatchQueue::main());
    // The same, blocking the calling thread until the reply or the timeout (any thread but
    // the reply queues themselves; the main queue is not needed).
    std::optional<std::string> awaitReplyBlocking(const std::string& address, double timeout);

    // The dispatch of one message (normally reached through the server).
    void handleMessage(const OSCMessage& message);
    // The same for a message read in place from `bytes` (its own bytes): tracking commands and
    // replies, the bulk of a flood, are handled from the view; the rest is decoded in full.
    void handleMessageView(const OSCMessageView& message, ByteView bytes);
    void handleSoundscapeSpeakerPosition(const OSCMessage& message);
    void handleSoundscapeSourcePosition(const OSCMessage& message);

    // Asks the DS100 at host:port for loudspeakers 1 to 64, one every 0.05 s; returns at
    // once. Sent even while OSC output is switched off.
    static void querySoundscapeSpeakerPositions(const std::string& host, std::uint16_t port);

    const std::shared_ptr<OSCServer>& oscServer() const { return oscServer_; }
    // Where messages are dispatched.
    const platform::DispatchQueuePtr& dispatchQueue() const { return oscServer_->receiveQueue(); }

private:
    explicit OSCReceiver(std::uint16_t port);

    std::shared_ptr<OSCServer> oscServer_;
};
