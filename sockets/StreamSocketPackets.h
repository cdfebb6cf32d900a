#pragma once
// The requests a StreamSocket queues: reads, writes and the TLS start that stands in both
// queues. Internal to the socket.

#include "sockets/StreamSocketData.h"
#include "sockets/StreamSocketPreBuffer.h"
#include "sockets/StreamSocketTLSSettings.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <vector>

class StreamPacket {
public:
    virtual ~StreamPacket() = default;
};

class StreamReadPacket final : public StreamPacket {
public:
    // Without a buffer the packet makes its own of `readLength` bytes.
    StreamReadPacket(std::shared_ptr<std::vector<std::uint8_t>> buffer, std::uint64_t startOffset,
                     std::uint64_t maxLength, double timeout, std::uint64_t readLength,
                     std::optional<std::vector<std::uint8_t>> term, std::int64_t tag);

    std::uint8_t* writePosition() { return buffer->data() + startOffset + bytesDone; }
    std::size_t freeSpace() const { return buffer->size() - (startOffset + bytesDone); }
    void ensureCapacityForAdditionalDataOfLength(std::size_t bytesToRead);

    // Bytes to take, given `hint` available, for reads without a terminator.
    std::size_t readLengthForNonTermWithHint(std::size_t hint) const;
    // Bytes to take for a terminator read; sets whether they should go to the pre-buffer.
    std::size_t readLengthForTermWithHint(std::size_t hint, bool* shouldPreBuffer) const;
    // The request size for a TLS read, `defaultValue` when neither length nor maximum bounds it.
    std::size_t optimalReadLengthWithDefault(std::size_t defaultValue, bool* shouldPreBuffer) const;
    // Bytes of the pre-buffer that belong to this terminator read; sets whether they end it.
    std::size_t readLengthForTermWithPreBuffer(StreamSocketPreBuffer& preBuffer, bool* found) const;
    // After `numberOfBytes` were read straight into the buffer: how many follow the
    // terminator, or -1 when it is not there.
    ssize_t searchForTermAfterPreBuffering(ssize_t numberOfBytes) const;

    std::shared_ptr<std::vector<std::uint8_t>> buffer;
    std::uint64_t startOffset;
    std::uint64_t bytesDone = 0;
    std::uint64_t maxLength;
    double timeout;
    std::uint64_t readLength;
    std::optional<std::vector<std::uint8_t>> term;
    bool bufferOwner;
    std::uint64_t originalBufferLength;
    std::int64_t tag;
};

class StreamWritePacket final : public StreamPacket {
public:
    StreamWritePacket(StreamSocketData data, double timeout, std::int64_t tag)
        : buffer(std::move(data)), tag(tag), timeout(timeout) {}

    StreamSocketData buffer;
    std::uint64_t bytesDone = 0;
    std::int64_t tag;
    double timeout;
};

class StreamSpecialPacket final : public StreamPacket {
public:
    explicit StreamSpecialPacket(StreamSocketTLSSettings settings) : tlsSettings(std::move(settings)) {}
    StreamSocketTLSSettings tlsSettings;
};
