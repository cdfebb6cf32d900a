#pragma once
// An asynchronous stream socket: TCP over IPv4 and IPv6, or a local (Unix-domain) socket,
// with queued reads and writes and optional TLS.
//
// All socket work runs on the socket's own serial queue; every result reaches the delegate on
// the delegate queue. Public operations may be called from any thread: queries, connect,
// accept and disconnect wait for the socket queue (or run inline when already on it); reads,
// writes, TLS starts and setters are posted to it. Create sockets with make(); the owner keeps
// the returned pointer, and dropping the last one closes the socket without callbacks.

#include "platform/Dispatch.h"
#include "sockets/SocketError.h"
#include "sockets/StreamSocketData.h"
#include "sockets/StreamSocketDelegate.h"
#include "sockets/StreamSocketError.h"
#include "sockets/StreamSocketTLSSettings.h"

#include <any>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/un.h>
#include <vector>

class StreamPacket;
class StreamReadPacket;
class StreamWritePacket;
class StreamSocketPreBuffer;
class StreamSocketTLS;
struct ssl_st;

class StreamSocket : public std::enable_shared_from_this<StreamSocket> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // Socket-address bytes (sockaddr_in, sockaddr_in6 or sockaddr_un).
    using Address = std::vector<std::uint8_t>;
    using Buffer = std::shared_ptr<std::vector<std::uint8_t>>;

    // Without a socket queue the socket makes a serial one labelled "StreamSocket". A given
    // socket queue must be serial (std::invalid_argument otherwise).
    static std::shared_ptr<StreamSocket> make(std::weak_ptr<StreamSocketDelegate> delegate = {},
                                              platform::DispatchQueuePtr delegateQueue = nullptr,
                                              platform::DispatchQueuePtr socketQueue = nullptr);
    StreamSocket(Passkey, std::weak_ptr<StreamSocketDelegate> delegate,
                 platform::DispatchQueuePtr delegateQueue, platform::DispatchQueuePtr socketQueue);
    ~StreamSocket();
    StreamSocket(const StreamSocket&) = delete;
    StreamSocket& operator=(const StreamSocket&) = delete;

    // ---- Configuration -------------------------------------------------------------------
    std::shared_ptr<StreamSocketDelegate> delegate() const;
    void setDelegate(std::weak_ptr<StreamSocketDelegate> delegate);
    void synchronouslySetDelegate(std::weak_ptr<StreamSocketDelegate> delegate);
    platform::DispatchQueuePtr delegateQueue() const;
    void setDelegateQueue(platform::DispatchQueuePtr delegateQueue);
    void synchronouslySetDelegateQueue(platform::DispatchQueuePtr delegateQueue);
    void getDelegate(std::shared_ptr<StreamSocketDelegate>* delegate,
                     platform::DispatchQueuePtr* delegateQueue) const;
    void setDelegate(std::weak_ptr<StreamSocketDelegate> delegate, platform::DispatchQueuePtr delegateQueue);
    void synchronouslySetDelegate(std::weak_ptr<StreamSocketDelegate> delegate,
                                  platform::DispatchQueuePtr delegateQueue);

    bool isIPv4Enabled() const;
    void setIPv4Enabled(bool enabled);
    bool isIPv6Enabled() const;
    void setIPv6Enabled(bool enabled);
    bool isIPv4PreferredOverIPv6() const;
    void setIPv4PreferredOverIPv6(bool preferred);
    double alternateAddressDelay() const;
    void setAlternateAddressDelay(double delay);
    std::any userData() const;
    void setUserData(std::any userData);
    bool autoDisconnectOnClosedReadStream() const;
    void setAutoDisconnectOnClosedReadStream(bool flag);

    // ---- Listening -------------------------------------------------------------------------
    bool acceptOnPort(std::uint16_t port, SocketError* error = nullptr);
    // `interface`: a name ("eth0"), an address, "localhost" or "loopback", optionally
    // followed by ":" and a port used when `port` is 0; empty for every interface.
    bool acceptOnInterface(const std::string& interface, std::uint16_t port, SocketError* error = nullptr);
    bool acceptOnUrl(const std::string& path, SocketError* error = nullptr);

    // ---- Connecting (a negative timeout means none) -------------------------------------------
    bool connectToHost(const std::string& host, std::uint16_t port, SocketError* error = nullptr);
    bool connectToHost(const std::string& host, std::uint16_t port, double timeout,
                       SocketError* error = nullptr);
    bool connectToHost(const std::string& host, std::uint16_t port, const std::string& interface,
                       double timeout, SocketError* error = nullptr);
    bool connectToAddress(const Address& address, SocketError* error = nullptr);
    bool connectToAddress(const Address& address, double timeout, SocketError* error = nullptr);
    bool connectToAddress(const Address& address, const std::string& interface, double timeout,
                          SocketError* error = nullptr);
    bool connectToUrl(const std::string& path, double timeout, SocketError* error = nullptr);

    // A socket around an already connected IPv4 or IPv6 descriptor; none on failure (the
    // descriptor then stays the caller's).
    static std::shared_ptr<StreamSocket> socketFromConnectedSocketFD(int socketFD,
                                                                     platform::DispatchQueuePtr socketQueue,
                                                                     SocketError* error = nullptr);
    static std::shared_ptr<StreamSocket>
    socketFromConnectedSocketFD(int socketFD, std::weak_ptr<StreamSocketDelegate> delegate,
                                platform::DispatchQueuePtr delegateQueue, SocketError* error = nullptr);
    static std::shared_ptr<StreamSocket>
    socketFromConnectedSocketFD(int socketFD, std::weak_ptr<StreamSocketDelegate> delegate,
                                platform::DispatchQueuePtr delegateQueue,
                                platform::DispatchQueuePtr socketQueue, SocketError* error = nullptr);

    // ---- Closing ---------------------------------------------------------------------------
    void disconnect();
    void disconnectAfterReading();
    void disconnectAfterWriting();
    void disconnectAfterReadingAndWriting();

    // ---- State -----------------------------------------------------------------------------
    bool isDisconnected() const;
    bool isConnected() const;
    std::optional<std::string> connectedHost() const;
    std::uint16_t connectedPort() const;
    std::optional<std::string> connectedUrl() const;
    std::optional<std::string> localHost() const;
    std::uint16_t localPort() const;
    Address connectedAddress() const;
    Address localAddress() const;
    bool isIPv4() const;
    bool isIPv6() const;
    bool isSecure() const;
    // For code already on the socket queue.
    std::optional<std::string> connectedHost4() const;
    std::optional<std::string> connectedHost6() const;
    std::uint16_t connectedPort4() const;
    std::uint16_t connectedPort6() const;
    std::optional<std::string> localHost4() const;
    std::optional<std::string> localHost6() const;
    std::uint16_t localPort4() const;
    std::uint16_t localPort6() const;

    // ---- Reading (a negative timeout means none; maxLength 0 means none) -----------------------
    void readDataWithTimeout(double timeout, std::int64_t tag);
    void readDataWithTimeout(double timeout, Buffer buffer, std::uint64_t offset, std::int64_t tag);
    void readDataWithTimeout(double timeout, Buffer buffer, std::uint64_t offset, std::uint64_t maxLength,
                             std::int64_t tag);
    void readDataToLength(std::uint64_t length, double timeout, std::int64_t tag);
    void readDataToLength(std::uint64_t length, double timeout, Buffer buffer, std::uint64_t offset,
                          std::int64_t tag);
    void readDataToData(const std::vector<std::uint8_t>& data, double timeout, std::int64_t tag);
    void readDataToData(const std::vector<std::uint8_t>& data, double timeout, Buffer buffer,
                        std::uint64_t offset, std::int64_t tag);
    void readDataToData(const std::vector<std::uint8_t>& data, double timeout, std::uint64_t maxLength,
                        std::int64_t tag);
    void readDataToData(const std::vector<std::uint8_t>& data, double timeout, Buffer buffer,
                        std::uint64_t offset, std::uint64_t maxLength, std::int64_t tag);
    // NaN when no read is under way.
    float progressOfReadReturningTag(std::int64_t* tag, std::uint64_t* done, std::uint64_t* total) const;

    // ---- Writing ---------------------------------------------------------------------------
    void writeData(StreamSocketData data, double timeout, std::int64_t tag);
    float progressOfWriteReturningTag(std::int64_t* tag, std::uint64_t* done, std::uint64_t* total) const;

    // ---- TLS -------------------------------------------------------------------------------
    void startTLS(StreamSocketTLSSettings tlsSettings = {});
    ssl_st* sslContext() const;

    // ---- Queue and descriptors -------------------------------------------------------------------
    void performBlock(const std::function<void()>& block);
    // -1 unless called on the socket queue.
    int socketFD() const;
    int socket4FD() const;
    int socket6FD() const;

    // ---- Address functions ------------------------------------------------------------------
    // "localhost" and "loopback" give 127.0.0.1 then ::1 without asking the resolver.
    static std::vector<Address> lookupHost(const std::string& host, std::uint16_t port,
                                           SocketError* error = nullptr);
    static std::string hostFromSockaddr4(const sockaddr_in& address);
    static std::string hostFromSockaddr6(const sockaddr_in6& address);
    static std::uint16_t portFromSockaddr4(const sockaddr_in& address);
    static std::uint16_t portFromSockaddr6(const sockaddr_in6& address);
    static std::string urlFromSockaddrUN(const sockaddr_un& address);
    static std::optional<std::string> hostFromAddress(const Address& address);
    static std::uint16_t portFromAddress(const Address& address);
    static bool isIPv4Address(const Address& address);
    static bool isIPv6Address(const Address& address);
    static bool getHost(std::string* host, std::uint16_t* port, const Address& address);
    static bool getHost(std::string* host, std::uint16_t* port, int* family, const Address& address);

    // Read terminators.
    static const std::vector<std::uint8_t>& CRLFData();
    static const std::vector<std::uint8_t>& CRData();
    static const std::vector<std::uint8_t>& LFData();
    static const std::vector<std::uint8_t>& ZeroData();

private:
    using PacketPtr = std::shared_ptr<StreamPacket>;

    bool isOnSocketQueue() const;
    void performSync(const std::function<void()>& block) const;
    // Runs the block now on the socket queue, else posts it there.
    void performAsync(std::function<void()> block);
    template <class F> void notifyDelegate(F&& call);

    // Connection management.
    std::optional<SocketError> delegateRefusal(const char* verb) const;
    bool preConnectWithInterface(const std::string& interface, SocketError* error);
    void getInterfaceAddress(Address* address4, Address* address6, const std::string& interfaceDescription,
                             std::uint16_t port) const;
    static Address getInterfaceAddressFromUrl(const std::string& path);
    int createListenSocket(int domain, const Address& interfaceAddress, SocketError* error);
    void installAcceptSource(int fd, int family);
    bool doAccept(int parentSocketFD, int family);
    void lookupDidSucceed(int aStateIndex, const Address& address4, const Address& address6);
    void lookupDidFail(int aStateIndex, const SocketError& error);
    bool connectWithAddresses(const Address& address4, const Address& address6, SocketError* error);
    int createConnectSocket(int family, const Address& connectInterface, SocketError* error);
    void connectSocket(int socketFD, const Address& address, int aStateIndex);
    void connectAttemptFinished(int socketFD, int errorNumber, int aStateIndex);
    void closeConnectAttempt(int socketFD);
    void didConnect(int aStateIndex);
    void startConnectTimeout(double timeout);
    void endConnectTimeout();
    void doConnectTimeout();
    void closeWithError(std::optional<SocketError> error);
    void maybeClose();
    int currentSocketFD() const;
    std::optional<std::string> connectedHostFromSocket(int fd) const;
    std::uint16_t connectedPortFromSocket(int fd) const;
    std::optional<std::string> localHostFromSocket(int fd) const;
    std::uint16_t localPortFromSocket(int fd) const;

    // Reading and writing.
    void setupReadAndWriteSources();
    void suspendReadSource();
    void resumeReadSource();
    void suspendWriteSource();
    void resumeWriteSource();
    void queueRead(std::shared_ptr<StreamReadPacket> packet);
    void maybeDequeueRead();
    void doReadData();
    void doReadEOF();
    void completeCurrentRead();
    void endCurrentRead();
    void maybeDequeueWrite();
    void doWriteData();
    void completeCurrentWrite();
    void endCurrentWrite();
    // Read and write timeouts share one implementation; Side picks the direction.
    struct ReadSide;
    struct WriteSide;
    template <class Side> void endCurrent();
    template <class Side> void setupTimerWithTimeout(double timeout);
    template <class Side> void doTimeout();
    template <class Side> void doTimeoutWithExtension(double extension, const PacketPtr& packet);

    // TLS.
    void maybeStartTLS();
    void sslStartTLS();
    bool applyTLSSettings(const StreamSocketTLSSettings& settings, bool isServer);
    void sslContinueSSLHandshake();
    void sslShouldTrustPeer(bool shouldTrust, int aStateIndex);
    void flushSSLBuffers();
    std::int32_t sslReadWithBuffer(std::uint8_t* buffer, std::size_t* bufferLength);
    std::int32_t sslWriteWithBuffer(const std::uint8_t* buffer, std::size_t* bufferLength);
    SocketError sslError(std::int32_t status) const;

    std::uint32_t flags_ = 0;
    std::uint16_t config_ = 0;
    std::weak_ptr<StreamSocketDelegate> delegate_;
    platform::DispatchQueuePtr delegateQueue_;
    int socket4FD_ = -1;
    int socket6FD_ = -1;
    int socketUN_ = -1;
    std::string socketUrl_;
    int stateIndex_ = 0;
    Address connectInterface4_;
    Address connectInterface6_;
    platform::DispatchQueuePtr socketQueue_;
    platform::DispatchSourcePtr accept4Source_;
    platform::DispatchSourcePtr accept6Source_;
    platform::DispatchSourcePtr acceptUNSource_;
    platform::DispatchTimerPtr connectTimer_;
    // Writability watches of connect attempts still under way.
    platform::DispatchSourcePtr connect4Source_;
    platform::DispatchSourcePtr connect6Source_;
    platform::DispatchSourcePtr connectUNSource_;
    platform::DispatchSourcePtr readSource_;
    platform::DispatchSourcePtr writeSource_;
    platform::DispatchTimerPtr readTimer_;
    platform::DispatchTimerPtr writeTimer_;
    std::deque<PacketPtr> readQueue_;
    std::deque<PacketPtr> writeQueue_;
    PacketPtr currentRead_;
    PacketPtr currentWrite_;
    std::uint64_t socketFDBytesAvailable_ = 0;
    std::unique_ptr<StreamSocketPreBuffer> preBuffer_;
    std::unique_ptr<StreamSocketTLS> sslContext_;
    std::unique_ptr<StreamSocketPreBuffer> sslPreBuffer_;
    std::uint64_t sslWriteCachedLength_ = 0;
    std::int32_t sslErrCode_ = 0;
    std::int32_t lastSSLHandshakeError_ = 0;
    platform::DispatchSpecificKey<int> IsOnSocketQueueOrTargetQueueKey;
    std::shared_ptr<int> socketQueueMark_;
    std::any userData_;
    double alternateAddressDelay_ = 0.3;
};
