#pragma once
// Bytes read from the descriptor past the end of the current read, waiting for the next one.
// A growable buffer without wrap-around: it compacts only when read empty.

#include <cstddef>
#include <cstdint>
#include <vector>

class StreamSocketPreBuffer {
public:
    explicit StreamSocketPreBuffer(std::size_t capacity);
    StreamSocketPreBuffer(const StreamSocketPreBuffer&) = delete;
    StreamSocketPreBuffer& operator=(const StreamSocketPreBuffer&) = delete;

    // Grows by exactly the shortfall when `numberOfBytes` exceeds the space left.
    void ensureCapacityForWrite(std::size_t numberOfBytes);

    std::size_t availableBytes() const { return writeOffset_ - readOffset_; }
    std::size_t availableSpace() const { return storage_.size() - writeOffset_; }
    std::uint8_t* readBuffer() { return storage_.data() + readOffset_; }
    std::uint8_t* writeBuffer() { return storage_.data() + writeOffset_; }
    void getReadBuffer(std::uint8_t** buffer, std::size_t* availableBytesPtr);
    void getWriteBuffer(std::uint8_t** buffer, std::size_t* availableSpacePtr);

    void didRead(std::size_t bytesRead);
    void didWrite(std::size_t bytesWritten);
    void reset() { readOffset_ = writeOffset_ = 0; }

private:
    std::vector<std::uint8_t> storage_;
    std::size_t readOffset_ = 0;
    std::size_t writeOffset_ = 0;
};
