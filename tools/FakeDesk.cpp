#include "tools/FakeDesk.h"

#include "OSCCore/OSCObject.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::uint16_t boundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

int makeListener(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    auto address = loopback(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

FakeDesk::FakeDesk(bool listenTCP) : listenTCP_(listenTCP) {
    udpFd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (udpFd_ < 0)
        throw std::runtime_error("FakeDesk: no UDP socket");
    // Floods and benchmarks must not lose datagrams to a small receive buffer.
    int size = 8 << 20;
    ::setsockopt(udpFd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    auto address = loopback(0);
    if (::bind(udpFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("FakeDesk: cannot bind UDP");
    udpPort_ = boundPort(udpFd_);
    if (listenTCP_) {
        listenFd_ = makeListener(0);
        if (listenFd_ < 0)
            throw std::runtime_error("FakeDesk: cannot listen on TCP");
        tcpPort_ = boundPort(listenFd_);
    }
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_ = std::thread([this] { run(); });
}

FakeDesk::~FakeDesk() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    closeConnections();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    ::close(udpFd_);
    ::close(wakeFd_);
}

void FakeDesk::wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
}

void FakeDesk::runOnThread(std::function<void()> task) {
    std::unique_lock lock(mutex_);
    tasks_.push_back(std::move(task));
    const auto ticket = ++tasksQueued_;
    wake();
    changed_.wait(lock, [&] { return tasksDone_ >= ticket || stopping_; });
}

void FakeDesk::run() {
    std::vector<pollfd> fds;
    for (;;) {
        std::vector<std::function<void()>> tasks;
        int timeout = -1;
        {
            std::unique_lock lock(mutex_);
            if (stopping_)
                break;
            tasks.swap(tasks_);
            auto now = Clock::now();
            for (auto it = dueReplies_.begin(); it != dueReplies_.end();) {
                if (it->due <= now) {
                    auto address = loopback(it->port);
                    ::sendto(udpFd_, it->bytes.data(), it->bytes.size(), 0,
                             reinterpret_cast<sockaddr*>(&address), sizeof address);
                    it = dueReplies_.erase(it);
                } else {
                    auto wait =
                        std::chrono::duration_cast<std::chrono::milliseconds>(it->due - now).count() + 1;
                    timeout =
                        timeout < 0 ? static_cast<int>(wait) : std::min(timeout, static_cast<int>(wait));
                    ++it;
                }
            }
        }
        if (!tasks.empty()) {
            // Tasks touch sockets only this thread polls; they run without the lock.
            for (auto& task : tasks)
                task();
            std::lock_guard lock(mutex_);
            tasksDone_ += tasks.size();
            changed_.notify_all();
            continue;
        }
        fds.clear();
        fds.push_back({wakeFd_, POLLIN, 0});
        fds.push_back({udpFd_, POLLIN, 0});
        if (listenFd_ >= 0)
            fds.push_back({listenFd_, POLLIN, 0});
        const std::size_t firstConnection = fds.size();
        for (const auto& connection : connections_)
            fds.push_back({connection.fd, POLLIN, 0});
        int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        if (fds[0].revents) {
            std::uint64_t value;
            [[maybe_unused]] auto n = ::read(wakeFd_, &value, sizeof value);
        }
        if (fds[1].revents)
            readUDP();
        if (listenFd_ >= 0 && firstConnection == 3 && fds[2].revents)
            acceptTCP();
        std::vector<int> closed;
        for (std::size_t i = firstConnection; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            for (auto& connection : connections_)
                if (connection.fd == fds[i].fd && !readTCP(connection))
                    closed.push_back(connection.fd);
        }
        if (!closed.empty()) {
            std::lock_guard lock(mutex_);
            std::erase_if(connections_, [&](const Connection& c) {
                return std::find(closed.begin(), closed.end(), c.fd) != closed.end();
            });
            for (int fd : closed)
                ::close(fd);
            changed_.notify_all();
        }
    }
}

void FakeDesk::readUDP() {
    std::vector<std::uint8_t> buffer(65536);
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t n =
            ::recvfrom(udpFd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return;
        Datagram datagram{{buffer.begin(), buffer.begin() + n}, Clock::now(), ntohs(from.sin_port)};
        answer(datagram.bytes, datagram.fromPort);
        std::lock_guard lock(mutex_);
        datagrams_.push_back(std::move(datagram));
        changed_.notify_all();
    }
}

void FakeDesk::acceptTCP() {
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        std::lock_guard lock(mutex_);
        connections_.push_back({fd, ++accepted_, {}});
        changed_.notify_all();
    }
}

bool FakeDesk::readTCP(Connection& connection) {
    char buffer[4096];
    for (;;) {
        ssize_t n = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (n == 0)
            return false;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        auto now = Clock::now();
        connection.buffer.append(buffer, static_cast<std::size_t>(n));
        std::size_t newline;
        std::lock_guard lock(mutex_);
        while ((newline = connection.buffer.find('\n')) != std::string::npos) {
            lines_.push_back({connection.buffer.substr(0, newline), now, connection.number});
            connection.buffer.erase(0, newline + 1);
        }
        changed_.notify_all();
    }
}

void FakeDesk::closeConnections() {
    std::lock_guard lock(mutex_);
    for (auto& connection : connections_)
        ::close(connection.fd);
    connections_.clear();
    changed_.notify_all();
}

std::vector<FakeDesk::Datagram> FakeDesk::datagrams() const {
    std::lock_guard lock(mutex_);
    return datagrams_;
}

std::size_t FakeDesk::datagramCount() const {
    std::lock_guard lock(mutex_);
    return datagrams_.size();
}

std::vector<FakeDesk::Line> FakeDesk::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::map<std::string, std::string> FakeDesk::lastValuePerAddress() const {
    std::map<std::string, std::string> last;
    for (const auto& line : lines()) {
        const auto space = line.text.rfind(' ');
        last[line.text.substr(0, space)] = space == std::string::npos ? "" : line.text.substr(space + 1);
    }
    return last;
}

std::size_t FakeDesk::lineCount() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

void FakeDesk::clear() {
    std::lock_guard lock(mutex_);
    datagrams_.clear();
    lines_.clear();
}

bool FakeDesk::waitForDatagrams(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return datagrams_.size() >= count; });
}

bool FakeDesk::waitForLines(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
}

bool FakeDesk::waitForConnections(std::size_t accepted, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return accepted_ >= accepted; });
}

bool FakeDesk::waitForOpenConnections(std::size_t open, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return connections_.size() == open; });
}

std::size_t FakeDesk::acceptedConnections() const {
    std::lock_guard lock(mutex_);
    return accepted_;
}

std::size_t FakeDesk::openConnections() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

void FakeDesk::dropConnections() {
    runOnThread([this] { closeConnections(); });
}

void FakeDesk::stopListening() {
    runOnThread([this] {
        closeConnections();
        if (listenFd_ >= 0)
            ::close(listenFd_);
        listenFd_ = -1;
    });
}

bool FakeDesk::resumeListening() {
    bool ok = false;
    runOnThread([this, &ok] {
        if (listenFd_ < 0)
            listenFd_ = makeListener(tcpPort_);
        ok = listenFd_ >= 0;
    });
    return ok;
}

void FakeDesk::answerLikeDS100(std::optional<std::uint16_t> replyPort) {
    std::lock_guard lock(mutex_);
    personality_ = Personality::ds100;
    replyPort_ = replyPort;
}

void FakeDesk::answerLikeQLab(std::optional<std::uint16_t> replyPort,
                              std::optional<std::string> selectedCueID) {
    std::lock_guard lock(mutex_);
    personality_ = Personality::qlab;
    replyPort_ = replyPort;
    selectedCueID_ = std::move(selectedCueID);
}

void FakeDesk::stopAnswering() {
    std::lock_guard lock(mutex_);
    personality_ = Personality::listener;
}

void FakeDesk::setQLabMakesGroups(bool makes) {
    std::lock_guard lock(mutex_);
    qlabMakesGroups_ = makes;
}

void FakeDesk::setReplyDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    replyDelay_ = delay;
}

void FakeDesk::setDS100Speaker(std::int64_t number, std::vector<float> sixValues) {
    std::lock_guard lock(mutex_);
    speakers_[number] = std::move(sixValues);
}

void FakeDesk::setDS100Source(std::int64_t number, std::vector<float> threeValues) {
    std::lock_guard lock(mutex_);
    sources_[number] = std::move(threeValues);
}

std::size_t FakeDesk::qlabCuesCreated() const {
    std::lock_guard lock(mutex_);
    return qlabCues_;
}

void FakeDesk::sendDatagram(std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
    auto address = loopback(port);
    ::sendto(udpFd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

void FakeDesk::send(std::uint16_t port, const OSCMessage& message) {
    sendDatagram(port, message.rawData());
}

std::vector<OSCMessage> FakeDesk::messages() const {
    std::vector<OSCMessage> result;
    for (const auto& datagram : datagrams()) {
        try {
            auto object = decodeOSCObject(ByteView(datagram.bytes));
            if (object && object->message())
                result.push_back(*object->message());
        } catch (const std::exception&) {
        }
    }
    return result;
}

std::vector<std::string> FakeDesk::addresses() const {
    std::vector<std::string> result;
    for (const auto& message : messages())
        result.emplace_back(message.addressPattern().rawAddress());
    return result;
}

void FakeDesk::answer(const std::vector<std::uint8_t>& bytes, std::uint16_t fromPort) {
    std::optional<OSCMessage> request;
    try {
        auto object = decodeOSCObject(ByteView(bytes));
        if (object && object->message())
            request = *object->message();
    } catch (const std::exception&) {
    }
    if (!request)
        return;
    std::lock_guard lock(mutex_);
    auto reply = answerFor(*request);
    if (!reply)
        return;
    dueReplies_.push_back({Clock::now() + replyDelay_, replyPort_.value_or(fromPort), reply->rawData()});
}

namespace {

std::optional<std::int64_t> numberAfter(const std::string& address, std::string_view prefix) {
    if (address.compare(0, prefix.size(), prefix) != 0 || address.size() == prefix.size())
        return std::nullopt;
    std::int64_t value = 0;
    auto rest = std::string_view(address).substr(prefix.size());
    for (char c : rest) {
        if (c < '0' || c > '9' || value > 1'000'000'000)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string jsonEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace

std::optional<OSCMessage> FakeDesk::answerFor(const OSCMessage& message) {
    const std::string address(message.addressPattern().rawAddress());
    if (personality_ == Personality::ds100) {
        if (!message.values().empty())
            return std::nullopt;
        if (auto n = numberAfter(address, "/dbaudio1/positioning/speaker_position/")) {
            auto it = speakers_.find(*n);
            auto values = it != speakers_.end() ? it->second
                                                : std::vector<float>{float(*n),        -float(*n) / 2, 0.0f,
                                                                     5.0f * float(*n), 0.0f,           0.0f};
            std::vector<OSCValue> arguments(values.begin(), values.end());
            return OSCMessage(address, std::move(arguments));
        }
        if (auto n = numberAfter(address, "/dbaudio1/positioning/source_position/")) {
            auto it = sources_.find(*n);
            auto values =
                it != sources_.end() ? it->second : std::vector<float>{float(*n), float(*n) / 2, 0.0f};
            std::vector<OSCValue> arguments(values.begin(), values.end());
            return OSCMessage(address, std::move(arguments));
        }
        return std::nullopt;
    }
    if (personality_ == Personality::qlab) {
        if (address.rfind("/reply", 0) == 0)
            return std::nullopt;
        // QLab answers queries; setters (an argument other than "/new"'s) get no reply here.
        std::optional<std::string> data;
        if (address == "/cue/selected/uniqueID") {
            if (!selectedCueID_)
                return std::nullopt;
            data = *selectedCueID_;
        } else if (address == "/new") {
            const std::string* kind =
                message.values().empty() ? nullptr : message.values()[0].as<std::string>();
            if (!qlabMakesGroups_ && kind && *kind == "group")
                return std::nullopt;
            data = "CUE-" + std::to_string(++qlabCues_);
        } else if (!message.values().empty()) {
            return std::nullopt;
        }
        std::string json = "{\"workspace_id\":\"FAKE-WORKSPACE\",\"address\":\"" + jsonEscaped(address) +
                           "\",\"status\":\"ok\"";
        if (data)
            json += ",\"data\":\"" + jsonEscaped(*data) + "\"";
        else if (address.rfind("/cue/selected/level/", 0) == 0)
            json += ",\"data\":0";
        json += "}";
        return OSCMessage("/reply" + address, {OSCValue(json)});
    }
    return std::nullopt;
}
