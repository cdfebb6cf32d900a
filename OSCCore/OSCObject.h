#pragma once
// An OSC packet, or an element of a bundle: a message or a bundle. Transports send
// whatever rawData() gives and hand every received datagram to decodeOSCObject.

#include "OSCCore/Data.h"
#include "OSCCore/OSCBundle.h"
#include "OSCCore/OSCMessage.h"
#include "OSCCore/OSCObjectType.h"

#include <functional>
#include <optional>
#include <string>
#include <variant>

class OSCObject {
public:
    OSCObject(OSCMessage message) : packet_(std::move(message)) {}
    OSCObject(OSCBundle bundle) : packet_(std::move(bundle)) {}
    // Builds the message or bundle in place.
    template <class T, class... A>
    explicit OSCObject(std::in_place_type_t<T> type, A&&... args) : packet_(type, std::forward<A>(args)...) {}

    OSCObjectType type() const {
        return packet_.index() == 0 ? OSCObjectType::message : OSCObjectType::bundle;
    }
    // Null when the packet is of the other kind.
    const OSCMessage* message() const { return std::get_if<OSCMessage>(&packet_); }
    const OSCBundle* bundle() const { return std::get_if<OSCBundle>(&packet_); }
    const std::variant<OSCMessage, OSCBundle>& packet() const { return packet_; }

    // Throws OSCEncodeError.
    Data rawData() const;
    std::string description() const;

    bool operator==(const OSCObject& other) const { return packet_ == other.packet_; }

private:
    friend class OSCBundle;
    friend std::optional<OSCObject> decodeOSCObject(ByteView bytes);
    friend std::optional<OSCObject> decodeOSCObject(Data&& bytes);
    static std::optional<OSCObject> decode(ByteView bytes, std::optional<Data>&& keep);
    void appendRawData(Data& out) const;
    std::size_t sizeHint() const;

    std::variant<OSCMessage, OSCBundle> packet_;
};

std::optional<OSCObject> decodeOSCObject(ByteView bytes);
std::optional<OSCObject> decodeOSCObject(Data&& bytes);

// A received datagram as a bundle (when it begins with "#bundle" and a NUL) or a message
// (when it begins with "/"); nothing for any other first bytes. Throws OSCDecodeError for
// a packet that does not parse, whatever the bytes: no other failure, and no read outside
// the buffer.
std::optional<OSCObject> decodeOSCObject(ByteView bytes);
// The same, keeping the buffer itself in the message or bundle instead of a copy.
std::optional<OSCObject> decodeOSCObject(Data&& bytes);

template <> struct std::hash<OSCObject> { std::size_t operator()(const OSCObject& object) const noexcept; };
