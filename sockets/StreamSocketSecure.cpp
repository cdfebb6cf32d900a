// StreamSocket: the TLS start, the handshake, manual trust and the two transfer functions
// through which the TLS layer reads and writes the socket's descriptor.

#include "sockets/StreamSocket.h"

#include "sockets/StreamSocketInternal.h"
#include "sockets/StreamSocketPackets.h"
#include "sockets/StreamSocketPreBuffer.h"
#include "sockets/StreamSocketTLS.h"
#include "sockets/StreamSocketTrust.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

using namespace StreamSocketFlags;

namespace {
constexpr const char* noTrustMethodMessage =
    "StreamSocketManuallyEvaluateTrust specified in tlsSettings, but delegate doesn't implement "
    "socket:shouldTrustPeer:";
}

void StreamSocket::startTLS(StreamSocketTLSSettings tlsSettings) {
    auto packet = std::make_shared<StreamSpecialPacket>(std::move(tlsSettings));
    socketQueue_->async([self = shared_from_this(), packet = std::move(packet)] {
        const std::uint32_t flags = self->flags_;
        if ((flags & kSocketStarted) && !(flags & kQueuedTLS) && !(flags & kForbidReadsWrites)) {
            self->readQueue_.push_back(packet);
            self->writeQueue_.push_back(packet);
            self->flags_ |= kQueuedTLS;
            self->maybeDequeueRead();
            self->maybeDequeueWrite();
        }
    });
}

void StreamSocket::maybeStartTLS() {
    // Only once every read and write queued before the start has finished in the clear.
    if ((flags_ & kStartingReadTLS) && (flags_ & kStartingWriteTLS))
        sslStartTLS();
}

void StreamSocket::sslStartTLS() {
    auto* special = dynamic_cast<StreamSpecialPacket*>(currentRead_.get());
    if (!special) {
        closeWithError(StreamSocketError::other("Logic error"));
        return;
    }
    const StreamSocketTLSSettings settings = special->tlsSettings;
    bool isServer = false;
    if (auto it = settings.find(kCFStreamSSLIsServer); it != settings.end())
        isServer = it->second.boolValue().value_or(false);

    sslContext_ = StreamSocketTLS::create(isServer);
    if (!sslContext_) {
        closeWithError(StreamSocketError::other("Error in SSLCreateContext"));
        return;
    }
    // The context lives inside this socket and is used on its queue only.
    const bool ioInstalled = sslContext_->setIOFuncs(
        [this](std::uint8_t* buffer, std::size_t* length) { return sslReadWithBuffer(buffer, length); },
        [this](const std::uint8_t* buffer, std::size_t* length) {
            return sslWriteWithBuffer(buffer, length);
        });
    if (!ioInstalled) {
        closeWithError(StreamSocketError::other("Error in SSLSetIOFuncs"));
        return;
    }
    if (!applyTLSSettings(settings, isServer))
        return;

    // Bytes read ahead in the clear may already be the peer's first handshake bytes.
    sslPreBuffer_ = std::make_unique<StreamSocketPreBuffer>(4096);
    if (const std::size_t preBufferLength = preBuffer_->availableBytes(); preBufferLength > 0) {
        sslPreBuffer_->ensureCapacityForWrite(preBufferLength);
        std::memcpy(sslPreBuffer_->writeBuffer(), preBuffer_->readBuffer(), preBufferLength);
        sslPreBuffer_->didWrite(preBufferLength);
        preBuffer_->didRead(preBufferLength);
    }
    sslErrCode_ = 0;
    lastSSLHandshakeError_ = 0;
    sslContinueSSLHandshake();
}

bool StreamSocket::applyTLSSettings(const StreamSocketTLSSettings& settings, bool isServer) {
    auto fail = [this](const std::string& message) {
        closeWithError(StreamSocketError::other(message));
        return false;
    };
    auto find = [&settings](const char* key) -> const StreamSocketTLSValue* {
        auto it = settings.find(key);
        return it == settings.end() ? nullptr : &it->second;
    };
    StreamSocketTLS& tls = *sslContext_;

    if (const auto* value = find(StreamSocketManuallyEvaluateTrust);
        value && value->boolValue().value_or(false)) {
        if (isServer)
            return fail("Manual trust validation is not supported for server sockets");
        if (!tls.setBreakOnServerAuth(true))
            return fail("Error in SSLSetSessionOption");
    }
    if (const auto* value = find(kCFStreamSSLPeerName)) {
        if (!value->stringValue())
            return fail("Invalid value for kCFStreamSSLPeerName.");
        if (!tls.setPeerDomainName(*value->stringValue()))
            return fail("Error in SSLSetPeerDomainName");
    }
    if (const auto* value = find(kCFStreamSSLCertificates)) {
        std::vector<std::vector<std::uint8_t>> items;
        const auto* array = value->arrayValue();
        for (std::size_t i = 0; array && i < array->size(); ++i) {
            if (!(*array)[i].dataValue())
                return fail("Invalid value for kCFStreamSSLCertificates.");
            items.push_back(*(*array)[i].dataValue());
        }
        if (!array)
            return fail("Invalid value for kCFStreamSSLCertificates.");
        if (!tls.setCertificates(items))
            return fail("Error in SSLSetCertificate");
    }
    if (const auto* value = find(StreamSocketSSLPeerID)) {
        if (!value->dataValue())
            return fail("Invalid value for StreamSocketSSLPeerID.");
        if (!tls.setPeerID(*value->dataValue()))
            return fail("Error in SSLSetPeerID");
    }
    if (const auto* value = find(StreamSocketSSLProtocolVersionMin)) {
        const auto version = value->numberValue();
        if (!version)
            return fail("Invalid value for StreamSocketSSLProtocolVersionMin.");
        if (*version != 0 && !tls.setProtocolVersionMin(*version))
            return fail("Error in SSLSetProtocolVersionMin");
    }
    if (const auto* value = find(StreamSocketSSLProtocolVersionMax)) {
        const auto version = value->numberValue();
        if (!version)
            return fail("Invalid value for StreamSocketSSLProtocolVersionMax.");
        if (*version != 0 && !tls.setProtocolVersionMax(*version))
            return fail("Error in SSLSetProtocolVersionMax");
    }
    if (const auto* value = find(StreamSocketSSLSessionOptionFalseStart)) {
        const auto enabled = value->boolValue();
        if (!enabled)
            return fail("Invalid value for StreamSocketSSLSessionOptionFalseStart.");
        if (!tls.setFalseStart(*enabled))
            return fail("Error in SSLSetSessionOption (kSSLSessionOptionFalseStart)");
    }
    if (const auto* value = find(StreamSocketSSLSessionOptionSendOneByteRecord)) {
        const auto enabled = value->boolValue();
        if (!enabled)
            return fail("Invalid value for StreamSocketSSLSessionOptionSendOneByteRecord.");
        if (!tls.setSendOneByteRecord(*enabled))
            return fail("Error in SSLSetSessionOption (kSSLSessionOptionSendOneByteRecord)");
    }
    if (const auto* value = find(StreamSocketSSLCipherSuites)) {
        const auto* array = value->arrayValue();
        if (!array)
            return fail("Invalid value for StreamSocketSSLCipherSuites.");
        std::vector<std::uint16_t> suites;
        for (const StreamSocketTLSValue& item : *array) {
            const auto number = item.numberValue();
            if (!number || *number < 0 || *number > 0xFFFF)
                return fail("Invalid value for StreamSocketSSLCipherSuites.");
            suites.push_back(static_cast<std::uint16_t>(*number));
        }
        if (!tls.setEnabledCiphers(suites))
            return fail("Error in SSLSetEnabledCiphers");
    }
    if (const auto* value = find(StreamSocketSSLDiffieHellmanParameters)) {
        if (!value->dataValue())
            return fail("Invalid value for StreamSocketSSLDiffieHellmanParameters.");
        if (!tls.setDiffieHellmanParams(*value->dataValue()))
            return fail("Error in SSLSetDiffieHellmanParams");
    }
    if (const auto* value = find(StreamSocketSSLALPN)) {
        const auto* array = value->arrayValue();
        if (!array)
            return fail("Invalid value for StreamSocketSSLALPN.");
        std::vector<std::string> protocols;
        for (const StreamSocketTLSValue& item : *array) {
            if (!item.stringValue())
                return fail("Invalid value for StreamSocketSSLALPN.");
            protocols.push_back(*item.stringValue());
        }
        if (!tls.setALPNProtocols(protocols))
            return fail("Error in SSLSetALPNProtocols");
    }
    for (const char* key :
         {kCFStreamSSLAllowsAnyRoot, kCFStreamSSLAllowsExpiredRoots, kCFStreamSSLValidatesCertificateChain,
          kCFStreamSSLAllowsExpiredCertificates, kCFStreamSSLLevel}) {
        if (find(key))
            return fail(std::string("Security option unavailable - ") + key);
    }
    return true;
}

void StreamSocket::sslContinueSSLHandshake() {
    const std::int32_t status = sslContext_->handshake();
    lastSSLHandshakeError_ = status;

    if (status == StreamSocketTLSSuccess) {
        // The TLS-queued bit stays, so a second start on this connection is dropped.
        flags_ &= ~(kStartingReadTLS | kStartingWriteTLS);
        flags_ |= kSocketSecure;
        notifyDelegate(
            [](StreamSocketDelegate& delegate, StreamSocket& sock) { delegate.socketDidSecure(sock); });
        endCurrentRead();
        endCurrentWrite();
        maybeDequeueRead();
        maybeDequeueWrite();
    } else if (status == StreamSocketTLSPeerAuthCompleted) {
        std::shared_ptr<StreamSocketTrust> trust = sslContext_->copyPeerTrust();
        if (!trust) {
            closeWithError(sslError(status));
            return;
        }
        if (!delegateQueue_ || delegate_.expired()) {
            closeWithError(StreamSocketError::other(noTrustMethodMessage));
            return;
        }
        const int aStateIndex = stateIndex_;
        auto self = shared_from_this();
        auto completionHandler = [self, aStateIndex](bool shouldTrust) {
            self->socketQueue_->async(
                [self, shouldTrust, aStateIndex] { self->sslShouldTrustPeer(shouldTrust, aStateIndex); });
        };
        delegateQueue_->async([self, delegateWeak = delegate_, trust, completionHandler, aStateIndex] {
            auto delegate = delegateWeak.lock();
            if (delegate && delegate->socketDidReceiveTrust(*self, trust, completionHandler))
                return;
            self->socketQueue_->async([self, aStateIndex] {
                if (aStateIndex == self->stateIndex_)
                    self->closeWithError(StreamSocketError::other(noTrustMethodMessage));
            });
        });
    } else if (status != StreamSocketTLSWouldBlock) {
        closeWithError(sslError(status));
    }
}

void StreamSocket::sslShouldTrustPeer(bool shouldTrust, int aStateIndex) {
    // The socket closed or reconnected meanwhile, or this is a second answer.
    if (aStateIndex != stateIndex_ || !sslContext_)
        return;
    ++stateIndex_;
    if (shouldTrust)
        sslContinueSSLHandshake();
    else
        closeWithError(sslError(StreamSocketTLSBadPeerCertificate));
}

SocketError StreamSocket::sslError(std::int32_t status) const {
    switch (status) {
    case StreamSocketTLSBadPeerCertificate:
        return StreamSocketError::ssl(status, "The peer's certificate was not trusted");
    case StreamSocketTLSClosedAbort:
        return StreamSocketError::ssl(status, "The connection closed during TLS");
    default:
        return StreamSocketError::ssl(status,
                                      sslContext_ ? sslContext_->lastErrorDescription() : std::string());
    }
}

void StreamSocket::flushSSLBuffers() {
    if (!(flags_ & kSocketSecure) || !sslContext_ || preBuffer_->availableBytes() > 0)
        return;
    std::size_t estimated =
        socketFDBytesAvailable_ + sslPreBuffer_->availableBytes() + sslContext_->bufferedReadSize();
    while (estimated > 0) {
        preBuffer_->ensureCapacityForWrite(estimated);
        std::size_t processed = 0;
        const std::int32_t status = sslContext_->read(preBuffer_->writeBuffer(), estimated, &processed);
        preBuffer_->didWrite(processed);
        if (status != StreamSocketTLSSuccess)
            break;
        estimated =
            socketFDBytesAvailable_ + sslPreBuffer_->availableBytes() + sslContext_->bufferedReadSize();
    }
}

std::int32_t StreamSocket::sslReadWithBuffer(std::uint8_t* buffer, std::size_t* bufferLength) {
    if (socketFDBytesAvailable_ == 0 && sslPreBuffer_->availableBytes() == 0) {
        resumeReadSource();
        *bufferLength = 0;
        return StreamSocketTLSWouldBlock;
    }
    std::size_t totalBytesRead = 0;
    std::size_t totalBytesLeftToBeRead = *bufferLength;
    bool done = false;
    bool socketError = false;

    if (const std::size_t preBuffered = sslPreBuffer_->availableBytes(); preBuffered > 0) {
        const std::size_t bytesToCopy = std::min(preBuffered, totalBytesLeftToBeRead);
        std::memcpy(buffer, sslPreBuffer_->readBuffer(), bytesToCopy);
        sslPreBuffer_->didRead(bytesToCopy);
        totalBytesRead += bytesToCopy;
        totalBytesLeftToBeRead -= bytesToCopy;
        done = totalBytesLeftToBeRead == 0;
    }

    if (!done && socketFDBytesAvailable_ > 0) {
        // Everything readable goes to the TLS pre-buffer when it is more than asked for.
        const bool readIntoPreBuffer = socketFDBytesAvailable_ > totalBytesLeftToBeRead;
        std::uint8_t* target;
        std::size_t bytesToRead;
        if (readIntoPreBuffer) {
            bytesToRead = socketFDBytesAvailable_;
            sslPreBuffer_->ensureCapacityForWrite(bytesToRead);
            target = sslPreBuffer_->writeBuffer();
        } else {
            bytesToRead = totalBytesLeftToBeRead;
            target = buffer + totalBytesRead;
        }
        const ssize_t result = ::read(currentSocketFD(), target, bytesToRead);
        if (result < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                socketError = true;
            socketFDBytesAvailable_ = 0;
        } else if (result == 0) {
            socketError = true;
            socketFDBytesAvailable_ = 0;
        } else {
            const std::size_t bytesReadFromSocket = static_cast<std::size_t>(result);
            socketFDBytesAvailable_ = socketFDBytesAvailable_ > bytesReadFromSocket
                                          ? socketFDBytesAvailable_ - bytesReadFromSocket
                                          : 0;
            if (readIntoPreBuffer) {
                sslPreBuffer_->didWrite(bytesReadFromSocket);
                const std::size_t bytesToCopy = std::min(bytesReadFromSocket, totalBytesLeftToBeRead);
                std::memcpy(buffer + totalBytesRead, sslPreBuffer_->readBuffer(), bytesToCopy);
                sslPreBuffer_->didRead(bytesToCopy);
                totalBytesRead += bytesToCopy;
                totalBytesLeftToBeRead -= bytesToCopy;
            } else {
                totalBytesRead += bytesReadFromSocket;
                totalBytesLeftToBeRead -= bytesReadFromSocket;
            }
            done = totalBytesLeftToBeRead == 0;
        }
    }

    *bufferLength = totalBytesRead;
    if (done)
        return StreamSocketTLSSuccess;
    if (socketError)
        return StreamSocketTLSClosedAbort;
    // Nothing came: make sure the descriptor wakes us when something does.
    if (totalBytesRead == 0)
        resumeReadSource();
    return StreamSocketTLSWouldBlock;
}

std::int32_t StreamSocket::sslWriteWithBuffer(const std::uint8_t* buffer, std::size_t* bufferLength) {
    if (!(flags_ & kSocketCanAcceptBytes)) {
        resumeWriteSource();
        *bufferLength = 0;
        return StreamSocketTLSWouldBlock;
    }
    const std::size_t bytesToWrite = *bufferLength;
    std::size_t bytesWritten = 0;
    bool socketError = false;
    const ssize_t result = ::send(currentSocketFD(), buffer, bytesToWrite, MSG_NOSIGNAL);
    if (result < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            socketError = true;
        flags_ &= ~kSocketCanAcceptBytes;
    } else if (result == 0) {
        flags_ &= ~kSocketCanAcceptBytes;
    } else {
        bytesWritten = static_cast<std::size_t>(result);
    }
    *bufferLength = bytesWritten;
    if (bytesWritten == bytesToWrite)
        return StreamSocketTLSSuccess;
    if (socketError)
        return StreamSocketTLSClosedAbort;
    // The handshake has no write of its own to resume the source: ask to hear when there is room.
    if (!(flags_ & kSocketCanAcceptBytes))
        resumeWriteSource();
    return StreamSocketTLSWouldBlock;
}
