#include "sockets/StreamSocketPreBuffer.h"

#include <algorithm>

StreamSocketPreBuffer::StreamSocketPreBuffer(std::size_t capacity) : storage_(capacity) {}

void StreamSocketPreBuffer::ensureCapacityForWrite(std::size_t numberOfBytes) {
    const std::size_t space = availableSpace();
    if (numberOfBytes > space)
        storage_.resize(storage_.size() + (numberOfBytes - space));
}

void StreamSocketPreBuffer::getReadBuffer(std::uint8_t** buffer, std::size_t* availableBytesPtr) {
    if (buffer)
        *buffer = readBuffer();
    if (availableBytesPtr)
        *availableBytesPtr = availableBytes();
}

void StreamSocketPreBuffer::getWriteBuffer(std::uint8_t** buffer, std::size_t* availableSpacePtr) {
    if (buffer)
        *buffer = writeBuffer();
    if (availableSpacePtr)
        *availableSpacePtr = availableSpace();
}

void StreamSocketPreBuffer::didRead(std::size_t bytesRead) {
    readOffset_ += std::min(bytesRead, availableBytes());
    if (readOffset_ == writeOffset_)
        reset();
}

void StreamSocketPreBuffer::didWrite(std::size_t bytesWritten) {
    writeOffset_ += std::min(bytesWritten, availableSpace());
}
