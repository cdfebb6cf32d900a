#pragma once
// One OSC 1.0 message: an address pattern and its arguments. Built in memory from an
// address text and values, or parsed from bytes; a parsed message keeps its bytes and
// re-encodes to exactly them.

#include "OSCCore/Data.h"
#include "OSCCore/OSCAddressPattern.h"
#include "OSCCore/OSCObjectType.h"
#include "OSCCore/OSCValue.h"
#include "OSCCore/OSCValues.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class OSCMessage {
public:
    static constexpr OSCObjectType oscObjectType = OSCObjectType::message;
    static constexpr std::uint8_t addressPrefix = '/';

    OSCMessage(std::string_view address, OSCValues values = {})
        : addressPattern_(address), values_(std::move(values)) {}
    OSCMessage(const char* address, OSCValues values = {})
        : addressPattern_(address), values_(std::move(values)) {}
    OSCMessage(OSCAddressPattern addressPattern, OSCValues values = {})
        : addressPattern_(std::move(addressPattern)), values_(std::move(values)) {}

    // Parses one message; throws OSCDecodeError.
    static OSCMessage fromRawData(ByteView bytes);
    static OSCMessage fromRawData(Data&& bytes);
    // The reason fromRawData gives for bytes whose length or first byte already rule out a
    // message, or none: a flood of garbage is refused without an exception.
    static const char* headRefusal(ByteView bytes);

    // The message's bytes: the parsed input when there is one; throws OSCEncodeError when a
    // value cannot be written (a blob of 2^31 bytes or more, a number outside its kind).
    Data rawData() const;

    const OSCAddressPattern& addressPattern() const { return addressPattern_; }
    const OSCValues& values() const { return values_; }
    // The bytes this message was parsed from; nothing for a message built in memory.
    const std::optional<Data>& parsedRawData() const { return rawData_; }

    // OSCMessage("/a", values: [1, "x"])
    std::string description() const;
    // One line per value with its type name.
    std::string descriptionPretty() const;

    // Address text and values; parsed bytes are not compared.
    bool operator==(const OSCMessage& other) const;

private:
    struct Parse {};

public:
    // Parses in place (for packets and bundles, whose elements are never moved); use fromRawData.
    OSCMessage(Parse, ByteView bytes, std::optional<Data>&& keep);

private:
    friend class OSCBundle;
    friend class OSCObject;
    // Appends the byte form.
    void appendRawData(Data& out) const;
    std::size_t sizeHint() const;

    OSCAddressPattern addressPattern_;
    OSCValues values_;
    std::optional<Data> rawData_;
};

template <> struct std::hash<OSCMessage> {
    std::size_t operator()(const OSCMessage& message) const noexcept;
};
