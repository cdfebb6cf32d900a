#pragma once
// The TLS engine under StreamSocket: OpenSSL behind a small interface in the shape the socket
// expects of a TLS layer. Bytes reach the engine only through the socket's two transfer
// functions, which report statuses; the engine reports the same statuses. Internal.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;
struct x509_store_ctx_st;
class StreamSocketTrust;

enum StreamSocketTLSStatus : std::int32_t {
    StreamSocketTLSSuccess = 0,
    StreamSocketTLSProtocolError = -9800,
    StreamSocketTLSFatalAlert = -9802,
    StreamSocketTLSWouldBlock = -9803,
    StreamSocketTLSClosedGracefully = -9805,
    StreamSocketTLSClosedAbort = -9806,
    StreamSocketTLSCertificateChainInvalid = -9807,
    StreamSocketTLSBadPeerCertificate = -9825,
    StreamSocketTLSPeerAuthCompleted = -9841,
};

class StreamSocketTLS {
public:
    // Each reports the bytes it moved through `length` and returns a status.
    using ReadFunction = std::function<std::int32_t(std::uint8_t* buffer, std::size_t* length)>;
    using WriteFunction = std::function<std::int32_t(const std::uint8_t* buffer, std::size_t* length)>;

    // None when the engine cannot make a context.
    static std::unique_ptr<StreamSocketTLS> create(bool isServer);
    ~StreamSocketTLS();
    StreamSocketTLS(const StreamSocketTLS&) = delete;
    StreamSocketTLS& operator=(const StreamSocketTLS&) = delete;

    bool setIOFuncs(ReadFunction read, WriteFunction write);
    // Stop the handshake at the server's certificate (client only).
    bool setBreakOnServerAuth(bool enabled);
    bool setPeerDomainName(const std::string& name);
    bool setCertificates(const std::vector<std::vector<std::uint8_t>>& pemItems);
    bool setPeerID(const std::vector<std::uint8_t>& peerID);
    bool setProtocolVersionMin(std::int64_t version);
    bool setProtocolVersionMax(std::int64_t version);
    bool setFalseStart(bool enabled);
    bool setSendOneByteRecord(bool enabled);
    bool setEnabledCiphers(const std::vector<std::uint16_t>& suites);
    bool setDiffieHellmanParams(const std::vector<std::uint8_t>& parameters);
    bool setALPNProtocols(const std::vector<std::string>& protocols);

    std::int32_t handshake();
    // Reads until `length` bytes arrived or a status other than success stops it.
    std::int32_t read(std::uint8_t* buffer, std::size_t length, std::size_t* processed);
    // Success means all of it was taken. After would-block the engine holds the chunk: call
    // again with no bytes to push it on; success then means the held chunk went out.
    std::int32_t write(const std::uint8_t* buffer, std::size_t length, std::size_t* processed);
    // Decrypted bytes the engine holds.
    std::size_t bufferedReadSize() const;
    // After the handshake stopped for trust: what the peer presented.
    std::shared_ptr<StreamSocketTrust> copyPeerTrust() const { return peerTrust_; }
    // Says goodbye to the peer when the session was established.
    void close();

    ssl_st* ssl() const { return ssl_; }
    bool isServer() const { return isServer_; }
    const std::string& lastErrorDescription() const { return lastErrorDescription_; }

private:
    StreamSocketTLS() = default;
    std::int32_t statusFor(int result);
    int verifyPeer(x509_store_ctx_st* store);

    friend struct StreamSocketTLSCallbacks;

    ssl_ctx_st* ctx_ = nullptr;
    ssl_st* ssl_ = nullptr;
    bool isServer_ = false;
    ReadFunction readFunction_;
    WriteFunction writeFunction_;
    bool transferFailed_ = false;
    bool pausedForTrust_ = false;
    std::shared_ptr<StreamSocketTrust> peerTrust_;
    const std::uint8_t* heldBuffer_ = nullptr;
    std::size_t heldLength_ = 0;
    std::vector<std::uint8_t> peerID_;
    std::vector<std::uint8_t> alpnWire_;
    std::string lastErrorDescription_;
};
