#pragma once
// An asynchronous UDP socket: one IPv4 and one IPv6 datagram socket, all work on a private
// serial socket queue, a queue of outgoing datagrams (resolved, filtered, sent with a
// timeout) and receiving once or continuously, with results reported to a weakly held
// delegate on its delegate queue.
//
// Every public call may come from any thread: it runs inline on the socket queue and
// otherwise hops there, synchronously for queries, binding, options and close,
// asynchronously for setters and sends. Failures return false with an optional error.

#include "platform/Dispatch.h"
#include "sockets/SocketError.h"
#include "sockets/UdpSocketEngineDelegate.h"
#include "sockets/UdpSocketEngineError.h"

#include <any>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sockaddr_in;
struct sockaddr_in6;

class UdpSocketEngine : public std::enable_shared_from_this<UdpSocketEngine> {
public:
    using Bytes = std::vector<std::uint8_t>;
    using ErrorOut = std::optional<SocketError>*;
    // Returns whether the datagram may go out.
    using SendFilter = std::function<bool(const Bytes& data, const Bytes& address, std::int64_t tag)>;
    // Returns whether the datagram is delivered; may leave a context for the delegate.
    using ReceiveFilter = std::function<bool(const Bytes& data, const Bytes& address, std::any& context)>;

    // No socket queue: a serial queue labelled "UdpSocketEngine" is made. A global concurrent
    // queue is refused (a programming error).
    static std::shared_ptr<UdpSocketEngine> make(std::weak_ptr<UdpSocketEngineDelegate> delegate = {},
                                                 platform::DispatchQueuePtr delegateQueue = nullptr,
                                                 platform::DispatchQueuePtr socketQueue = nullptr);
    ~UdpSocketEngine();
    UdpSocketEngine(const UdpSocketEngine&) = delete;
    UdpSocketEngine& operator=(const UdpSocketEngine&) = delete;

    // ---- Configuration ----
    std::shared_ptr<UdpSocketEngineDelegate> delegate() const;
    void setDelegate(std::weak_ptr<UdpSocketEngineDelegate> delegate);
    void synchronouslySetDelegate(std::weak_ptr<UdpSocketEngineDelegate> delegate);
    platform::DispatchQueuePtr delegateQueue() const;
    void setDelegateQueue(platform::DispatchQueuePtr queue);
    void synchronouslySetDelegateQueue(platform::DispatchQueuePtr queue);
    void getDelegate(std::shared_ptr<UdpSocketEngineDelegate>* delegate,
                     platform::DispatchQueuePtr* delegateQueue) const;
    void setDelegate(std::weak_ptr<UdpSocketEngineDelegate> delegate,
                     platform::DispatchQueuePtr delegateQueue);
    void synchronouslySetDelegate(std::weak_ptr<UdpSocketEngineDelegate> delegate,
                                  platform::DispatchQueuePtr delegateQueue);

    bool isIPv4Enabled() const;
    void setIPv4Enabled(bool enabled);
    bool isIPv6Enabled() const;
    void setIPv6Enabled(bool enabled);
    bool isIPv4Preferred() const;
    bool isIPv6Preferred() const;
    bool isIPVersionNeutral() const;
    void setPreferIPv4();
    void setPreferIPv6();
    void setIPVersionNeutral();

    std::uint16_t maxReceiveIPv4BufferSize() const;
    void setMaxReceiveIPv4BufferSize(std::uint16_t size);
    std::uint32_t maxReceiveIPv6BufferSize() const;
    void setMaxReceiveIPv6BufferSize(std::uint32_t size);
    std::uint16_t maxSendBufferSize() const;
    void setMaxSendBufferSize(std::uint16_t size);
    // The kernel's receive buffer asked for sockets created from now on, when larger than the
    // send size (a burst of datagrams waits there). The kernel caps it at what it allows.
    void setKernelReceiveBufferSize(int bytes);
    // The receive buffer the kernel gave the IPv4 socket (else the IPv6 one); 0 when none.
    int kernelReceiveBufferSize() const;
    // Received datagrams handed to the delegate queue and not yet delivered, in bytes (with a
    // little for each datagram's keeping). Continuous reading stops at the limit, leaving
    // the rest in the kernel's buffer, and goes on once delivery brings it to half or below:
    // a flood the delegate cannot keep up with costs bounded memory. Any thread.
    static constexpr std::size_t defaultReceiveBacklogLimit = 128 * 1024 * 1024;
    void setReceiveBacklogLimit(std::size_t bytes);
    std::size_t receiveBacklogBytes() const;

    std::shared_ptr<void> userData() const;
    void setUserData(std::shared_ptr<void> data);

    void performBlock(const std::function<void()>& block);
    const platform::DispatchQueuePtr& socketQueue() const { return socketQueue_; }

    // Valid only on the socket queue (else -1). socketFD is the IPv4 one when present.
    int socketFD() const;
    int socket4FD() const;
    int socket6FD() const;

    // ---- Sockets, binding, options ----
    bool bindToPort(std::uint16_t port, ErrorOut error = nullptr);
    // `interface`: a name ("lo", "eth0"), a numeric address, "localhost"/"loopback", or none (all).
    bool bindToPort(std::uint16_t port, const std::optional<std::string>& interface,
                    ErrorOut error = nullptr);
    bool bindToAddress(const Bytes& address, ErrorOut error = nullptr);
    bool enableReusePort(bool flag, ErrorOut error = nullptr);
    bool enableBroadcast(bool flag, ErrorOut error = nullptr);

    Bytes localAddress() const;
    std::string localHost() const;
    std::uint16_t localPort() const;
    Bytes localAddress_IPv4() const;
    std::string localHost_IPv4() const;
    std::uint16_t localPort_IPv4() const;
    Bytes localAddress_IPv6() const;
    std::string localHost_IPv6() const;
    std::uint16_t localPort_IPv6() const;

    bool isIPv4() const;
    bool isIPv6() const;
    bool isClosed() const;
    bool isConnected() const;

    // ---- Address records ----
    static std::string hostFromSockaddr4(const sockaddr_in& address);
    static std::string hostFromSockaddr6(const sockaddr_in6& address);
    static std::uint16_t portFromSockaddr4(const sockaddr_in& address);
    static std::uint16_t portFromSockaddr6(const sockaddr_in6& address);
    static std::string hostFromAddress(const Bytes& address);
    static std::uint16_t portFromAddress(const Bytes& address);
    static int familyFromAddress(const Bytes& address);
    static bool isIPv4Address(const Bytes& address);
    static bool isIPv6Address(const Bytes& address);
    static bool getHost(std::string* host, std::uint16_t* port, const Bytes& address);
    static bool getHost(std::string* host, std::uint16_t* port, int* family, const Bytes& address);

    // ---- Sending (results reach the delegate) ----
    // A negative timeout waits for room for ever. Empty data is ignored.
    void sendData(Bytes data, const std::string& host, std::uint16_t port, double timeout, std::int64_t tag);
    void sendDataToAddress(Bytes data, const Bytes& address, double timeout, std::int64_t tag);
    // To the connected peer.
    void sendData(Bytes data, double timeout, std::int64_t tag);
    void sendData(Bytes data, std::int64_t tag);
    // A null filter removes it; a filter without a queue is a programming error.
    void setSendFilter(SendFilter filter, platform::DispatchQueuePtr queue, bool isAsynchronous = true);

    // ---- Closing ----
    void close();
    void closeAfterSending();

    // ---- Receiving ----
    bool receiveOnce(ErrorOut error = nullptr);
    bool beginReceiving(ErrorOut error = nullptr);
    void pauseReceiving();
    void setReceiveFilter(ReceiveFilter filter, platform::DispatchQueuePtr queue, bool isAsynchronous = true);

    // ---- Connecting (results reach the delegate) ----
    bool connectToHost(const std::string& host, std::uint16_t port, ErrorOut error = nullptr);
    bool connectToAddress(const Bytes& address, ErrorOut error = nullptr);
    Bytes connectedAddress() const;
    std::string connectedHost() const;
    std::uint16_t connectedPort() const;

    // ---- Multicast ----
    bool joinMulticastGroup(const std::string& group, ErrorOut error = nullptr);
    bool joinMulticastGroup(const std::string& group, const std::optional<std::string>& interface,
                            ErrorOut error = nullptr);
    bool leaveMulticastGroup(const std::string& group, ErrorOut error = nullptr);
    bool leaveMulticastGroup(const std::string& group, const std::optional<std::string>& interface,
                             ErrorOut error = nullptr);
    bool sendIPv4MulticastOnInterface(const std::string& interface, ErrorOut error = nullptr);
    bool sendIPv6MulticastOnInterface(const std::string& interface, ErrorOut error = nullptr);

private:
    struct Private {};
    struct Packet; // a queued datagram or connect request

public:
    UdpSocketEngine(Private, std::weak_ptr<UdpSocketEngineDelegate> delegate,
                    platform::DispatchQueuePtr delegateQueue, platform::DispatchQueuePtr socketQueue);

private:
    using PacketPtr = std::shared_ptr<Packet>;

    // ---- Queue helpers ----
    template <class F> auto syncOnSocketQueue(F&& f) const -> decltype(f());
    void asyncOnSocketQueue(std::function<void()> block);
    void assertOnSocketQueue() const;

    // ---- Notifications ----
    template <class Call> void notify(UdpSocketEngineDelegate::Callback callback, Call call);
    void notifyDidConnectToAddress(const Bytes& address);
    void notifyDidNotConnect(std::optional<SocketError> error);
    void notifyDidSendDataWithTag(std::int64_t tag);
    void notifyDidNotSendDataWithTag(std::int64_t tag, std::optional<SocketError> error);
    void notifyDidReceiveData(Bytes data, Bytes fromAddress, std::any context);
    void notifyDidReceiveDatagrams(std::vector<std::pair<Bytes, Bytes>> datagrams);
    void notifyDidCloseWithError(std::optional<SocketError> error);

    // ---- Errors ----
    static SocketError badConfigError(const std::string& text);
    static SocketError badParamError(const std::string& text);
    static SocketError sendTimeoutError();
    static SocketError socketClosedError();
    static SocketError otherError(const std::string& text);
    static SocketError gaiError(int code);
    static SocketError errnoErrorWithReason(const std::string& reason);
    static SocketError errnoError();
    bool preOp(ErrorOut error) const;

    // ---- Sockets ----
    bool createSockets(ErrorOut error);
    bool createSockets(bool useIPv4, bool useIPv6, ErrorOut error);
    int createSocket(int family, ErrorOut error);
    void setupSendAndReceiveSources(bool isIPv4);
    void closeSocket4();
    void closeSocket6();
    void closeSockets();
    void closeWithError(std::optional<SocketError> error);
    void suspendSend4Source();
    void suspendSend6Source();
    void resumeSend4Source();
    void resumeSend6Source();
    void suspendReceive4Source();
    void suspendReceive6Source();
    void resumeReceive4Source();
    void resumeReceive6Source();
    void writeEvent(bool isIPv4);
    void readEvent(bool isIPv4);

    bool preBind(ErrorOut error) const;
    bool convertInterfaceDescription(const std::optional<std::string>& interface, std::uint16_t port,
                                     Bytes* address4, Bytes* address6) const;
    static bool convertNumericHost(const std::string& host, std::uint16_t port, Bytes* address4,
                                   Bytes* address6);
    void maybeUpdateCachedLocalAddress4Info();
    void maybeUpdateCachedLocalAddress6Info();

    // ---- Sending ----
    void enqueuePacket(PacketPtr packet);
    void asyncResolveHost(const std::string& host, std::uint16_t port,
                          std::function<void(std::vector<Bytes>, std::optional<SocketError>)> completion);
    static bool resolveWithoutResolver(const std::string& host, std::uint16_t port,
                                       std::vector<Bytes>* addresses, std::optional<SocketError>* error);
    static void resolveHost(const std::string& host, std::uint16_t port, std::vector<Bytes>* addresses,
                            std::optional<SocketError>* error);
    bool getAddress(Bytes* address, int* family, std::optional<SocketError>* error,
                    const std::vector<Bytes>& addresses) const;
    void maybeDequeueSend();
    void doPreSend();
    void doSend();
    void failCurrentSend(SocketError error);
    void endCurrentSend();
    void setupSendTimerWithTimeout(double timeout);
    void doSendTimeout(const PacketPtr& packet);

    // ---- Receiving and connecting ----
    bool startReceiving(std::uint32_t mode, std::uint32_t otherMode, ErrorOut error);
    void doReceive();
    // Datagrams taken per read: a burst is read in few calls, so the kernel's buffer empties
    // faster than a fast sender fills it.
    static constexpr std::size_t kBatchSize = 64;
    bool readDatagram(bool isIPv4, Bytes* data, Bytes* address, bool* wouldBlock);
    bool readDatagramBatch(bool isIPv4, std::vector<std::pair<Bytes, Bytes>>* datagrams, bool* drained,
                           bool* wouldBlock);
    void deliverReceived(Bytes data, Bytes address);
    bool isConnectedToAddress4(const Bytes& address) const;
    bool isConnectedToAddress6(const Bytes& address) const;
    bool preConnect(ErrorOut error) const;
    void maybeConnect();
    bool connectWithAddress(const Bytes& address, ErrorOut error);
    bool preJoin(ErrorOut error) const;
    bool performMulticastRequest(bool join, const std::string& group,
                                 const std::optional<std::string>& interface, ErrorOut error);
    static unsigned indexOfInterfaceAddress(const Bytes& address);

    // ---- State (socket queue only) ----
    std::weak_ptr<UdpSocketEngineDelegate> delegate_;
    platform::DispatchQueuePtr delegateQueue_;

    ReceiveFilter receiveFilterBlock_;
    platform::DispatchQueuePtr receiveFilterQueue_;
    bool receiveFilterAsync_ = false;

    SendFilter sendFilterBlock_;
    platform::DispatchQueuePtr sendFilterQueue_;
    bool sendFilterAsync_ = false;

    std::uint32_t flags_ = 0;
    std::uint16_t config_ = 0;

    std::uint16_t max4ReceiveSize_ = 65535;
    std::uint32_t max6ReceiveSize_ = 65535;
    std::uint16_t maxSendSize_ = 65535;
    int kernelReceiveSize_ = 0;
    struct ReceiveBacklog {
        std::atomic<std::size_t> bytes{0};
        std::atomic<std::size_t> limit{defaultReceiveBacklogLimit};
        std::atomic<bool> paused{false}; // reading waits for a delivery to start it again
    };
    std::shared_ptr<ReceiveBacklog> receiveBacklog_ = std::make_shared<ReceiveBacklog>();
    bool receiveBacklogFull();
    class BacklogShare;

    int socket4FD_ = -1;
    int socket6FD_ = -1;

    platform::DispatchQueuePtr socketQueue_;

    platform::DispatchSourcePtr send4Source_;
    platform::DispatchSourcePtr send6Source_;
    platform::DispatchSourcePtr receive4Source_;
    platform::DispatchSourcePtr receive6Source_;
    platform::DispatchTimerPtr sendTimer_;

    PacketPtr currentSend_;
    std::deque<PacketPtr> sendQueue_;

    // Whether the socket may hold a datagram: set by a read event, cleared when a read would
    // block. (An empty datagram reports no bytes available, so a byte count cannot tell.)
    bool socket4Readable_ = false;
    bool socket6Readable_ = false;
    std::uint32_t pendingFilterOperations_ = 0;
    // Room for a batch of the largest datagrams, left uninitialised: only the pages datagrams
    // were written to become resident.
    std::unique_ptr<std::uint8_t[]> receiveBuffer_;
    std::size_t receiveBufferSize_ = 0;
    std::uint8_t* receiveRoom(std::size_t size);

    Bytes cachedLocalAddress4_;
    std::string cachedLocalHost4_;
    std::uint16_t cachedLocalPort4_ = 0;
    Bytes cachedLocalAddress6_;
    std::string cachedLocalHost6_;
    std::uint16_t cachedLocalPort6_ = 0;

    Bytes cachedConnectedAddress_;
    std::string cachedConnectedHost_;
    std::uint16_t cachedConnectedPort_ = 0;
    int cachedConnectedFamily_ = 0;

    std::shared_ptr<void> userData_;
};
