// StreamSocket: the read and write queues, their sources and timeouts.

#include "sockets/StreamSocket.h"

#include "sockets/StreamSocketInternal.h"
#include "sockets/StreamSocketPackets.h"
#include "sockets/StreamSocketPreBuffer.h"
#include "sockets/StreamSocketTLS.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace StreamSocketFlags;

namespace {

StreamReadPacket* asRead(const std::shared_ptr<StreamPacket>& packet) {
    return dynamic_cast<StreamReadPacket*>(packet.get());
}

StreamWritePacket* asWrite(const std::shared_ptr<StreamPacket>& packet) {
    return dynamic_cast<StreamWritePacket*>(packet.get());
}

bool isRetry(int errorNumber) {
    return errorNumber == EAGAIN || errorNumber == EWOULDBLOCK || errorNumber == EINTR;
}

} // namespace

// ---- Sources ---------------------------------------------------------------------------------

void StreamSocket::setupReadAndWriteSources() {
    const int fd = currentSocketFD();
    readSource_ = platform::DispatchSource::makeRead(fd, socketQueue_);
    writeSource_ = platform::DispatchSource::makeWrite(fd, socketQueue_);
    std::weak_ptr<StreamSocket> weak = weak_from_this();

    platform::DispatchSource* readRaw = readSource_.get();
    readSource_->setEventHandler([weak, readRaw] {
        auto self = weak.lock();
        if (!self || self->readSource_.get() != readRaw)
            return;
        self->socketFDBytesAvailable_ = readRaw->data();
        if (self->socketFDBytesAvailable_ > 0)
            self->doReadData();
        else
            self->doReadEOF();
    });
    platform::DispatchSource* writeRaw = writeSource_.get();
    writeSource_->setEventHandler([weak, writeRaw] {
        auto self = weak.lock();
        if (!self || self->writeSource_.get() != writeRaw)
            return;
        self->flags_ |= kSocketCanAcceptBytes;
        self->doWriteData();
    });

    socketFDBytesAvailable_ = 0;
    flags_ &= ~kReadSourceSuspended;
    readSource_->resume();
    flags_ |= kSocketCanAcceptBytes | kWriteSourceSuspended;
}

void StreamSocket::suspendReadSource() {
    if (readSource_ && !(flags_ & kReadSourceSuspended)) {
        readSource_->suspend();
        flags_ |= kReadSourceSuspended;
    }
}

void StreamSocket::resumeReadSource() {
    if (readSource_ && (flags_ & kReadSourceSuspended)) {
        readSource_->resume();
        flags_ &= ~kReadSourceSuspended;
    }
}

void StreamSocket::suspendWriteSource() {
    if (writeSource_ && !(flags_ & kWriteSourceSuspended)) {
        writeSource_->suspend();
        flags_ |= kWriteSourceSuspended;
    }
}

void StreamSocket::resumeWriteSource() {
    if (writeSource_ && (flags_ & kWriteSourceSuspended)) {
        writeSource_->resume();
        flags_ &= ~kWriteSourceSuspended;
    }
}

// ---- Timeouts --------------------------------------------------------------------------------

// Reads and writes time out alike; a side names the members and the delegate question of one.
struct StreamSocket::ReadSide {
    static constexpr auto current = &StreamSocket::currentRead_;
    static constexpr auto timer = &StreamSocket::readTimer_;
    static constexpr std::uint32_t pausedFlag = kReadsPaused;
    static constexpr auto shouldTimeout = &StreamSocketDelegate::socketShouldTimeoutReadWithTag;
    static constexpr auto resume = &StreamSocket::doReadData;
    static StreamReadPacket* packet(const PacketPtr& p) { return asRead(p); }
    static SocketError timeoutError() { return StreamSocketError::readTimeout(); }
};

struct StreamSocket::WriteSide {
    static constexpr auto current = &StreamSocket::currentWrite_;
    static constexpr auto timer = &StreamSocket::writeTimer_;
    static constexpr std::uint32_t pausedFlag = kWritesPaused;
    static constexpr auto shouldTimeout = &StreamSocketDelegate::socketShouldTimeoutWriteWithTag;
    static constexpr auto resume = &StreamSocket::doWriteData;
    static StreamWritePacket* packet(const PacketPtr& p) { return asWrite(p); }
    static SocketError timeoutError() { return StreamSocketError::writeTimeout(); }
};

template <class Side> void StreamSocket::endCurrent() {
    if (auto& timer = this->*Side::timer) {
        timer->cancel();
        timer.reset();
    }
    (this->*Side::current).reset();
}

template <class Side> void StreamSocket::setupTimerWithTimeout(double timeout) {
    if (!(timeout >= 0))
        return;
    auto& timer = this->*Side::timer;
    timer = platform::DispatchTimer::make(socketQueue_);
    platform::DispatchTimer* raw = timer.get();
    timer->setEventHandler([weak = weak_from_this(), raw] {
        auto self = weak.lock();
        if (self && ((*self).*Side::timer).get() == raw)
            self->doTimeout<Side>();
    });
    timer->schedule(secondsToDuration(timeout));
    timer->resume();
}

template <class Side> void StreamSocket::doTimeout() {
    const PacketPtr& current = this->*Side::current;
    auto* packet = Side::packet(current);
    if (!packet)
        return;
    // Reads or writes wait while the delegate decides.
    flags_ |= Side::pausedFlag;
    auto delegate = delegate_.lock();
    if (!delegateQueue_ || !delegate) {
        doTimeoutWithExtension<Side>(0, current);
        return;
    }
    delegateQueue_->async([self = shared_from_this(), delegateWeak = delegate_, packetRef = current,
                           tag = packet->tag, elapsed = packet->timeout, bytesDone = packet->bytesDone] {
        double extension = 0;
        if (auto target = delegateWeak.lock())
            extension = ((*target).*Side::shouldTimeout)(*self, tag, elapsed, bytesDone);
        self->socketQueue_->async(
            [self, extension, packetRef] { self->doTimeoutWithExtension<Side>(extension, packetRef); });
    });
}

template <class Side>
void StreamSocket::doTimeoutWithExtension(double extension, const PacketPtr& packetRef) {
    const PacketPtr& current = this->*Side::current;
    // An answer about a read or write that has already ended changes nothing.
    if (!current || current != packetRef)
        return;
    if (extension > 0) {
        Side::packet(current)->timeout += extension;
        if (auto& timer = this->*Side::timer)
            timer->cancel();
        setupTimerWithTimeout<Side>(extension);
        flags_ &= ~Side::pausedFlag;
        (this->*Side::resume)();
    } else {
        closeWithError(Side::timeoutError());
    }
}

// ---- Read requests ---------------------------------------------------------------------------

void StreamSocket::queueRead(std::shared_ptr<StreamReadPacket> packet) {
    socketQueue_->async([self = shared_from_this(), packet = std::move(packet)] {
        if ((self->flags_ & kSocketStarted) && !(self->flags_ & kForbidReadsWrites)) {
            self->readQueue_.push_back(packet);
            self->maybeDequeueRead();
        }
    });
}

void StreamSocket::readDataWithTimeout(double timeout, std::int64_t tag) {
    readDataWithTimeout(timeout, nullptr, 0, 0, tag);
}

void StreamSocket::readDataWithTimeout(double timeout, Buffer buffer, std::uint64_t offset,
                                       std::int64_t tag) {
    readDataWithTimeout(timeout, std::move(buffer), offset, 0, tag);
}

void StreamSocket::readDataWithTimeout(double timeout, Buffer buffer, std::uint64_t offset,
                                       std::uint64_t maxLength, std::int64_t tag) {
    if (buffer && offset > buffer->size())
        return;
    queueRead(std::make_shared<StreamReadPacket>(std::move(buffer), offset, maxLength, timeout, 0,
                                                 std::nullopt, tag));
}

void StreamSocket::readDataToLength(std::uint64_t length, double timeout, std::int64_t tag) {
    readDataToLength(length, timeout, nullptr, 0, tag);
}

void StreamSocket::readDataToLength(std::uint64_t length, double timeout, Buffer buffer, std::uint64_t offset,
                                    std::int64_t tag) {
    if (length == 0 || (buffer && offset > buffer->size()))
        return;
    queueRead(
        std::make_shared<StreamReadPacket>(std::move(buffer), offset, 0, timeout, length, std::nullopt, tag));
}

void StreamSocket::readDataToData(const std::vector<std::uint8_t>& data, double timeout, std::int64_t tag) {
    readDataToData(data, timeout, nullptr, 0, 0, tag);
}

void StreamSocket::readDataToData(const std::vector<std::uint8_t>& data, double timeout, Buffer buffer,
                                  std::uint64_t offset, std::int64_t tag) {
    readDataToData(data, timeout, std::move(buffer), offset, 0, tag);
}

void StreamSocket::readDataToData(const std::vector<std::uint8_t>& data, double timeout,
                                  std::uint64_t maxLength, std::int64_t tag) {
    readDataToData(data, timeout, nullptr, 0, maxLength, tag);
}

void StreamSocket::readDataToData(const std::vector<std::uint8_t>& data, double timeout, Buffer buffer,
                                  std::uint64_t offset, std::uint64_t maxLength, std::int64_t tag) {
    if (data.empty() || (buffer && offset > buffer->size()) || (maxLength > 0 && maxLength < data.size()))
        return;
    queueRead(
        std::make_shared<StreamReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, data, tag));
}

float StreamSocket::progressOfReadReturningTag(std::int64_t* tag, std::uint64_t* done,
                                               std::uint64_t* total) const {
    float result = NAN;
    performSync([&] {
        const StreamReadPacket* packet = asRead(currentRead_);
        if (tag)
            *tag = packet ? packet->tag : 0;
        if (done)
            *done = packet ? packet->bytesDone : 0;
        if (total)
            *total = packet ? packet->readLength : 0;
        if (packet)
            result = packet->readLength > 0
                         ? static_cast<float>(static_cast<double>(packet->bytesDone) / packet->readLength)
                         : 1.0f;
    });
    return result;
}

// ---- Reading ---------------------------------------------------------------------------------

void StreamSocket::maybeDequeueRead() {
    if (currentRead_ || !(flags_ & kConnected))
        return;
    if (!readQueue_.empty()) {
        currentRead_ = readQueue_.front();
        readQueue_.pop_front();
        if (StreamReadPacket* packet = asRead(currentRead_)) {
            setupTimerWithTimeout<ReadSide>(packet->timeout);
            doReadData();
        } else {
            flags_ |= kStartingReadTLS;
            maybeStartTLS();
        }
    } else if (flags_ & kDisconnectAfterReads) {
        if (!(flags_ & kDisconnectAfterWrites) || (writeQueue_.empty() && !currentWrite_))
            closeWithError(std::nullopt);
    } else if (flags_ & kSocketSecure) {
        flushSSLBuffers();
        // Keep listening, so a close by the peer is noticed while nobody reads.
        if (preBuffer_->availableBytes() == 0)
            resumeReadSource();
    }
}

void StreamSocket::doReadData() {
    StreamReadPacket* packet = asRead(currentRead_);
    if (!currentRead_ || (flags_ & kReadsPaused)) {
        if (flags_ & kSocketSecure)
            flushSSLBuffers();
        // Nobody wants the bytes now; stop the source firing for them.
        if (socketFDBytesAvailable_ > 0)
            suspendReadSource();
        return;
    }

    const bool secure = flags_ & kSocketSecure;
    std::size_t estimatedBytesAvailable = socketFDBytesAvailable_;
    if (secure && sslContext_)
        estimatedBytesAvailable += sslPreBuffer_->availableBytes() + sslContext_->bufferedReadSize();
    const bool hasBytesAvailable = estimatedBytesAvailable > 0;
    if (!hasBytesAvailable && preBuffer_->availableBytes() == 0) {
        resumeReadSource();
        return;
    }

    if (flags_ & kStartingReadTLS) {
        if ((flags_ & kStartingWriteTLS) && lastSSLHandshakeError_ == StreamSocketTLSWouldBlock) {
            sslContinueSSLHandshake();
            // The handshake pulls what it needs itself; don't let these bytes wake us again.
            if ((flags_ & kStartingReadTLS) && socketFDBytesAvailable_ > 0)
                suspendReadSource();
        } else {
            suspendReadSource();
        }
        return;
    }

    bool done = false;
    std::optional<SocketError> error;
    std::size_t totalBytesReadForCurrentRead = 0;

    // 1. From the pre-buffer.
    if (preBuffer_->availableBytes() > 0) {
        std::size_t bytesToCopy;
        if (packet->term)
            bytesToCopy = packet->readLengthForTermWithPreBuffer(*preBuffer_, &done);
        else
            bytesToCopy = packet->readLengthForNonTermWithHint(preBuffer_->availableBytes());
        packet->ensureCapacityForAdditionalDataOfLength(bytesToCopy);
        std::memcpy(packet->writePosition(), preBuffer_->readBuffer(), bytesToCopy);
        preBuffer_->didRead(bytesToCopy);
        packet->bytesDone += bytesToCopy;
        totalBytesReadForCurrentRead += bytesToCopy;

        if (packet->readLength > 0) {
            done = packet->bytesDone == packet->readLength;
        } else if (packet->term) {
            if (!done && packet->maxLength > 0 && packet->bytesDone >= packet->maxLength)
                error = StreamSocketError::readMaxedOut();
        } else {
            done = packet->maxLength > 0 && packet->bytesDone == packet->maxLength;
        }
    }

    // 2. From the descriptor.
    bool socketEOF = flags_ & kSocketHasReadEOF;
    bool waiting = !done && !error && !socketEOF && !hasBytesAvailable;

    if (!done && !error && !socketEOF && hasBytesAvailable) {
        bool readIntoPreBuffer = false;
        std::size_t bytesToRead;
        std::size_t bytesRead = 0;

        if (secure) {
            const std::size_t defaultReadLength =
                estimatedBytesAvailable > 32768 ? estimatedBytesAvailable + 16384 : 32768;
            bytesToRead = packet->optimalReadLengthWithDefault(defaultReadLength, &readIntoPreBuffer);
            std::uint8_t* target;
            if (readIntoPreBuffer) {
                preBuffer_->ensureCapacityForWrite(bytesToRead);
                target = preBuffer_->writeBuffer();
            } else {
                packet->ensureCapacityForAdditionalDataOfLength(bytesToRead);
                target = packet->writePosition();
            }
            std::size_t processed = 0;
            const std::int32_t status = sslContext_->read(target, bytesToRead, &processed);
            bytesRead = processed;
            if (status == StreamSocketTLSWouldBlock)
                waiting = true;
            else if (status == StreamSocketTLSClosedGracefully || status == StreamSocketTLSClosedAbort) {
                socketEOF = true;
                sslErrCode_ = status;
            } else if (status != StreamSocketTLSSuccess && status != StreamSocketTLSWouldBlock) {
                error = sslError(status);
            }
            if (readIntoPreBuffer)
                preBuffer_->didWrite(bytesRead);
        } else {
            if (packet->term) {
                bytesToRead = packet->readLengthForTermWithHint(estimatedBytesAvailable, &readIntoPreBuffer);
            } else {
                bytesToRead = packet->readLengthForNonTermWithHint(estimatedBytesAvailable);
            }
            std::uint8_t* target;
            if (readIntoPreBuffer) {
                preBuffer_->ensureCapacityForWrite(bytesToRead);
                target = preBuffer_->writeBuffer();
            } else {
                packet->ensureCapacityForAdditionalDataOfLength(bytesToRead);
                target = packet->writePosition();
            }
            const ssize_t result = ::read(currentSocketFD(), target, bytesToRead);
            if (result < 0) {
                if (isRetry(errno))
                    waiting = true;
                else
                    error = SocketError::posix(errno, "Error in read() function");
                socketFDBytesAvailable_ = 0;
            } else if (result == 0) {
                socketEOF = true;
                socketFDBytesAvailable_ = 0;
            } else {
                bytesRead = static_cast<std::size_t>(result);
                if (bytesRead < bytesToRead)
                    socketFDBytesAvailable_ = 0;
                else if (socketFDBytesAvailable_ <= bytesRead)
                    socketFDBytesAvailable_ = 0;
                else
                    socketFDBytesAvailable_ -= bytesRead;
                if (socketFDBytesAvailable_ == 0)
                    waiting = true;
            }
            if (readIntoPreBuffer)
                preBuffer_->didWrite(bytesRead);
        }

        if (bytesRead > 0) {
            if (packet->readLength > 0) {
                packet->bytesDone += bytesRead;
                totalBytesReadForCurrentRead += bytesRead;
                done = packet->bytesDone == packet->readLength;
            } else if (packet->term) {
                if (readIntoPreBuffer) {
                    const std::size_t bytesToCopy =
                        packet->readLengthForTermWithPreBuffer(*preBuffer_, &done);
                    packet->ensureCapacityForAdditionalDataOfLength(bytesToCopy);
                    std::memcpy(packet->writePosition(), preBuffer_->readBuffer(), bytesToCopy);
                    preBuffer_->didRead(bytesToCopy);
                    packet->bytesDone += bytesToCopy;
                    totalBytesReadForCurrentRead += bytesToCopy;
                } else {
                    const ssize_t overflow =
                        packet->searchForTermAfterPreBuffering(static_cast<ssize_t>(bytesRead));
                    if (overflow == 0) {
                        packet->bytesDone += bytesRead;
                        totalBytesReadForCurrentRead += bytesRead;
                        done = true;
                    } else if (overflow > 0) {
                        // What follows the terminator waits in the pre-buffer for the next read.
                        const std::size_t underflow = bytesRead - static_cast<std::size_t>(overflow);
                        const std::uint8_t* overflowStart = packet->writePosition() + underflow;
                        preBuffer_->ensureCapacityForWrite(static_cast<std::size_t>(overflow));
                        std::memcpy(preBuffer_->writeBuffer(), overflowStart,
                                    static_cast<std::size_t>(overflow));
                        preBuffer_->didWrite(static_cast<std::size_t>(overflow));
                        packet->bytesDone += underflow;
                        totalBytesReadForCurrentRead += underflow;
                        done = true;
                    } else {
                        packet->bytesDone += bytesRead;
                        totalBytesReadForCurrentRead += bytesRead;
                    }
                }
                if (!done && packet->maxLength > 0 && packet->bytesDone >= packet->maxLength)
                    error = StreamSocketError::readMaxedOut();
            } else {
                if (readIntoPreBuffer) {
                    const std::size_t bytesToCopy = preBuffer_->availableBytes();
                    packet->ensureCapacityForAdditionalDataOfLength(bytesToCopy);
                    std::memcpy(packet->writePosition(), preBuffer_->readBuffer(), bytesToCopy);
                    preBuffer_->didRead(bytesToCopy);
                    packet->bytesDone += bytesToCopy;
                    totalBytesReadForCurrentRead += bytesToCopy;
                } else {
                    packet->bytesDone += bytesRead;
                    totalBytesReadForCurrentRead += bytesRead;
                }
                done = true;
            }
        }
    }

    // A read of whatever is available ends with whatever it got.
    if (!done && packet->readLength == 0 && !packet->term && totalBytesReadForCurrentRead > 0)
        done = true;

    if (done) {
        completeCurrentRead();
        if (!error && (!socketEOF || preBuffer_->availableBytes() > 0))
            maybeDequeueRead();
    } else if (totalBytesReadForCurrentRead > 0) {
        notifyDelegate([length = totalBytesReadForCurrentRead,
                        tag = packet->tag](StreamSocketDelegate& delegate, StreamSocket& sock) {
            delegate.socketDidReadPartialDataOfLength(sock, length, tag);
        });
    }

    // The next read, served just now, may have closed the socket already.
    if (!(flags_ & kConnected))
        return;
    if (error) {
        closeWithError(error);
    } else if (socketEOF) {
        doReadEOF();
    } else if (waiting || !done) {
        // Listen for more, and for the peer's close.
        resumeReadSource();
    }
}

void StreamSocket::doReadEOF() {
    flags_ |= kSocketHasReadEOF;
    if (flags_ & kSocketSecure)
        flushSSLBuffers();

    bool shouldDisconnect = false;
    std::optional<SocketError> error;
    if ((flags_ & kStartingReadTLS) || (flags_ & kStartingWriteTLS)) {
        shouldDisconnect = true;
        error = sslError(StreamSocketTLSClosedAbort);
    } else if (flags_ & kReadStreamClosed) {
        shouldDisconnect = false;
    } else if (preBuffer_->availableBytes() > 0) {
        // The owner still has bytes to read.
        shouldDisconnect = false;
    } else if (config_ & kAllowHalfDuplexConnection) {
        pollfd descriptor{currentSocketFD(), POLLOUT, 0};
        ::poll(&descriptor, 1, 0);
        if (descriptor.revents & POLLOUT) {
            flags_ |= kReadStreamClosed;
            notifyDelegate([](StreamSocketDelegate& delegate, StreamSocket& sock) {
                delegate.socketDidCloseReadStream(sock);
            });
        } else {
            shouldDisconnect = true;
        }
    } else {
        shouldDisconnect = true;
    }

    if (!shouldDisconnect) {
        suspendReadSource();
        return;
    }
    if (!error) {
        if ((flags_ & kSocketSecure) && sslErrCode_ != 0 && sslErrCode_ != StreamSocketTLSClosedGracefully)
            error = sslError(sslErrCode_);
        else
            error = StreamSocketError::closed();
    }
    closeWithError(error);
}

void StreamSocket::completeCurrentRead() {
    StreamReadPacket* packet = asRead(currentRead_);
    if (!packet)
        return;
    StreamSocketData result;
    if (packet->bufferOwner) {
        packet->buffer->resize(packet->bytesDone);
        result = StreamSocketData(packet->buffer, 0, packet->bytesDone);
    } else {
        const std::size_t used = packet->startOffset + packet->bytesDone;
        const std::size_t keep = std::max<std::size_t>(used, packet->originalBufferLength);
        if (packet->buffer->size() > keep)
            packet->buffer->resize(keep);
        result = StreamSocketData(packet->buffer, packet->startOffset, packet->bytesDone);
    }
    notifyDelegate([result, tag = packet->tag](StreamSocketDelegate& delegate, StreamSocket& sock) {
        delegate.socketDidReadData(sock, result, tag);
    });
    endCurrentRead();
}

void StreamSocket::endCurrentRead() {
    endCurrent<ReadSide>();
}

// ---- Writing ---------------------------------------------------------------------------------

void StreamSocket::writeData(StreamSocketData data, double timeout, std::int64_t tag) {
    if (data.empty())
        return;
    auto packet = std::make_shared<StreamWritePacket>(std::move(data), timeout, tag);
    socketQueue_->async([self = shared_from_this(), packet = std::move(packet)] {
        if ((self->flags_ & kSocketStarted) && !(self->flags_ & kForbidReadsWrites)) {
            self->writeQueue_.push_back(packet);
            self->maybeDequeueWrite();
        }
    });
}

float StreamSocket::progressOfWriteReturningTag(std::int64_t* tag, std::uint64_t* done,
                                                std::uint64_t* total) const {
    float result = NAN;
    performSync([&] {
        const StreamWritePacket* packet = asWrite(currentWrite_);
        if (tag)
            *tag = packet ? packet->tag : 0;
        if (done)
            *done = packet ? packet->bytesDone : 0;
        if (total)
            *total = packet ? packet->buffer.size() : 0;
        if (packet)
            result = static_cast<float>(static_cast<double>(packet->bytesDone) / packet->buffer.size());
    });
    return result;
}

void StreamSocket::maybeDequeueWrite() {
    if (currentWrite_ || !(flags_ & kConnected))
        return;
    if (!writeQueue_.empty()) {
        currentWrite_ = writeQueue_.front();
        writeQueue_.pop_front();
        if (StreamWritePacket* packet = asWrite(currentWrite_)) {
            setupTimerWithTimeout<WriteSide>(packet->timeout);
            doWriteData();
        } else {
            flags_ |= kStartingWriteTLS;
            maybeStartTLS();
        }
    } else if (flags_ & kDisconnectAfterWrites) {
        if (!(flags_ & kDisconnectAfterReads) || (readQueue_.empty() && !currentRead_))
            closeWithError(std::nullopt);
    }
}

void StreamSocket::doWriteData() {
    if (!currentWrite_ || (flags_ & kWritesPaused)) {
        // Nothing to send: stop the source firing on a writable descriptor.
        if (flags_ & kSocketCanAcceptBytes)
            suspendWriteSource();
        return;
    }
    if (!(flags_ & kSocketCanAcceptBytes)) {
        resumeWriteSource();
        return;
    }
    if (flags_ & kStartingWriteTLS) {
        if ((flags_ & kStartingReadTLS) && lastSSLHandshakeError_ == StreamSocketTLSWouldBlock) {
            sslContinueSSLHandshake();
            // A writable descriptor would wake us for nothing; the handshake asks when it needs room.
            if ((flags_ & kStartingWriteTLS) && (flags_ & kSocketCanAcceptBytes))
                suspendWriteSource();
        } else {
            suspendWriteSource();
        }
        return;
    }

    StreamWritePacket* packet = asWrite(currentWrite_);
    bool waiting = false;
    std::optional<SocketError> error;
    std::size_t bytesWritten = 0;
    const std::uint8_t* data = packet->buffer.data();
    const std::size_t length = packet->buffer.size();

    if (flags_ & kSocketSecure) {
        if (sslWriteCachedLength_ > 0) {
            std::size_t processed = 0;
            const std::int32_t status = sslContext_->write(nullptr, 0, &processed);
            if (status == StreamSocketTLSSuccess) {
                bytesWritten = sslWriteCachedLength_;
                sslWriteCachedLength_ = 0;
            } else if (status == StreamSocketTLSWouldBlock) {
                waiting = true;
            } else {
                error = sslError(status);
            }
        }
        if (!waiting && !error && packet->bytesDone + bytesWritten < length) {
            std::size_t bytesRemaining = length - (packet->bytesDone + bytesWritten);
            while (bytesRemaining > 0) {
                const std::size_t chunk = std::min<std::size_t>(bytesRemaining, 32768);
                std::size_t processed = 0;
                const std::int32_t status =
                    sslContext_->write(data + packet->bytesDone + bytesWritten, chunk, &processed);
                if (status == StreamSocketTLSSuccess) {
                    bytesWritten += processed;
                    bytesRemaining -= processed;
                } else {
                    if (status == StreamSocketTLSWouldBlock) {
                        // The TLS layer has taken this chunk and sends it when it can.
                        waiting = true;
                        sslWriteCachedLength_ = chunk;
                    } else {
                        error = sslError(status);
                    }
                    break;
                }
            }
        }
    } else {
        const std::size_t bytesToWrite = length - packet->bytesDone;
        const ssize_t result =
            ::send(currentSocketFD(), data + packet->bytesDone, bytesToWrite, MSG_NOSIGNAL);
        if (result < 0) {
            if (isRetry(errno))
                waiting = true;
            else
                error = SocketError::posix(errno, "Error in write() function");
        } else {
            bytesWritten = static_cast<std::size_t>(result);
        }
    }

    packet->bytesDone += bytesWritten;
    const bool done = packet->bytesDone == length;
    if (done) {
        completeCurrentWrite();
        if (!error) {
            socketQueue_->async([self = shared_from_this()] { self->maybeDequeueWrite(); });
        }
    } else if (bytesWritten > 0) {
        notifyDelegate([bytesWritten, tag = packet->tag](StreamSocketDelegate& delegate, StreamSocket& sock) {
            delegate.socketDidWritePartialDataOfLength(sock, bytesWritten, tag);
        });
    }

    if (error) {
        closeWithError(error);
    } else if (!done) {
        flags_ &= ~kSocketCanAcceptBytes;
        resumeWriteSource();
    }
}

void StreamSocket::completeCurrentWrite() {
    StreamWritePacket* packet = asWrite(currentWrite_);
    if (!packet)
        return;
    notifyDelegate([tag = packet->tag](StreamSocketDelegate& delegate, StreamSocket& sock) {
        delegate.socketDidWriteDataWithTag(sock, tag);
    });
    endCurrentWrite();
}

void StreamSocket::endCurrentWrite() {
    endCurrent<WriteSide>();
}
