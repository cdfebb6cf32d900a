#include "sockets/StreamSocketPackets.h"

#include <algorithm>
#include <cstring>

StreamReadPacket::StreamReadPacket(std::shared_ptr<std::vector<std::uint8_t>> buffer,
                                   std::uint64_t startOffset, std::uint64_t maxLength, double timeout,
                                   std::uint64_t readLength, std::optional<std::vector<std::uint8_t>> term,
                                   std::int64_t tag)
    : maxLength(maxLength), timeout(timeout), readLength(readLength), term(std::move(term)), tag(tag) {
    if (buffer) {
        this->buffer = std::move(buffer);
        this->startOffset = startOffset;
        bufferOwner = false;
        originalBufferLength = this->buffer->size();
    } else {
        this->buffer = std::make_shared<std::vector<std::uint8_t>>(readLength);
        this->startOffset = 0;
        bufferOwner = true;
        originalBufferLength = 0;
    }
}

void StreamReadPacket::ensureCapacityForAdditionalDataOfLength(std::size_t bytesToRead) {
    const std::size_t space = freeSpace();
    if (bytesToRead > space)
        buffer->resize(buffer->size() + (bytesToRead - space));
}

std::size_t StreamReadPacket::readLengthForNonTermWithHint(std::size_t hint) const {
    if (readLength > 0)
        return std::min<std::uint64_t>(hint, readLength - bytesDone);
    if (maxLength > 0)
        return std::min<std::uint64_t>(hint, maxLength - bytesDone);
    return hint;
}

std::size_t StreamReadPacket::readLengthForTermWithHint(std::size_t hint, bool* shouldPreBuffer) const {
    std::size_t result = hint;
    if (maxLength > 0)
        result = std::min<std::uint64_t>(result, maxLength - bytesDone);
    // Bytes past the terminator must not land in the caller's data, so without room for the
    // whole request they go through the pre-buffer.
    *shouldPreBuffer = freeSpace() < result;
    return result;
}

std::size_t StreamReadPacket::optimalReadLengthWithDefault(std::size_t defaultValue,
                                                           bool* shouldPreBuffer) const {
    if (readLength > 0) {
        *shouldPreBuffer = false;
        return readLength - bytesDone;
    }
    std::size_t result = defaultValue;
    if (maxLength > 0)
        result = std::min<std::uint64_t>(result, maxLength - bytesDone);
    *shouldPreBuffer = freeSpace() < result;
    return result;
}

std::size_t StreamReadPacket::readLengthForTermWithPreBuffer(StreamSocketPreBuffer& preBuffer,
                                                             bool* found) const {
    const std::size_t termLength = term->size();
    const std::size_t preBufferLength = preBuffer.availableBytes();
    *found = false;
    if (bytesDone + preBufferLength < termLength)
        return preBufferLength;

    std::size_t maxPreBufferLength = preBufferLength;
    if (maxLength > 0)
        maxPreBufferLength = std::min<std::uint64_t>(maxPreBufferLength, maxLength - bytesDone);

    // The last bytes already taken may hold the start of a terminator that ends in the pre-buffer.
    std::size_t partial = std::min<std::uint64_t>(bytesDone, termLength - 1);
    if (maxPreBufferLength + partial < termLength)
        return maxPreBufferLength;

    const std::uint8_t* termBytes = term->data();
    const std::uint8_t* pre = preBuffer.readBuffer();
    const std::uint8_t* taken = buffer->data() + startOffset + bytesDone;
    std::size_t preIndex = 0;
    const std::size_t positions = maxPreBufferLength - termLength + partial + 1;
    for (std::size_t i = 0; i < positions; ++i) {
        if (partial > 0) {
            if (std::memcmp(taken - partial, termBytes, partial) == 0 &&
                std::memcmp(pre, termBytes + partial, termLength - partial) == 0) {
                *found = true;
                return termLength - partial;
            }
            --partial;
        } else {
            if (std::memcmp(pre + preIndex, termBytes, termLength) == 0) {
                *found = true;
                return preIndex + termLength;
            }
            ++preIndex;
        }
    }
    return maxPreBufferLength;
}

ssize_t StreamReadPacket::searchForTermAfterPreBuffering(ssize_t numberOfBytes) const {
    const std::uint8_t* bytes = buffer->data() + startOffset;
    const std::size_t length = bytesDone + numberOfBytes;
    const std::size_t termLength = term->size();
    std::size_t i = bytesDone >= termLength ? bytesDone - termLength + 1 : 0;
    for (; i + termLength <= length; ++i) {
        if (std::memcmp(bytes + i, term->data(), termLength) == 0)
            return static_cast<ssize_t>(length - (i + termLength));
    }
    return -1;
}
