#pragma once

// The far end of the link for tests: plain sockets on loopback (POSIX, or
// Winsock on Windows), driven step by step from the test thread (no threads
// of its own, so a failure points at the step that failed).

#include <QByteArray>
#include <QtGlobal>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <vector>

// The few places where Winsock and POSIX sockets differ.
namespace loopback_peer {
#ifdef _WIN32
using Handle = SOCKET;
using AddressLength = int;
using Length = int;
using Received = int;
constexpr Handle kInvalid = INVALID_SOCKET;
constexpr int kShutdownWrite = SD_SEND;
constexpr int kSendFlags = 0;
inline void closeHandle(Handle fd)
{
    ::closesocket(fd);
}
inline int pollHandles(pollfd* p, unsigned long n, int timeoutMs)
{
    return ::WSAPoll(p, n, timeoutMs);
}
inline void setNonBlocking(Handle fd)
{
    u_long on = 1;
    ::ioctlsocket(fd, FIONBIO, &on);
}
inline bool connectInProgress()
{
    return ::WSAGetLastError() == WSAEWOULDBLOCK;
}
// Winsock needs starting once per process; it stays up until the end.
inline Handle newSocket()
{
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    Q_UNUSED(started);
    return ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}
#else
using Handle = int;
using AddressLength = socklen_t;
using Length = size_t;
using Received = ssize_t;
constexpr Handle kInvalid = -1;
constexpr int kShutdownWrite = SHUT_WR;
constexpr int kSendFlags = MSG_NOSIGNAL;
inline void closeHandle(Handle fd)
{
    ::close(fd);
}
inline int pollHandles(pollfd* p, nfds_t n, int timeoutMs)
{
    return ::poll(p, n, timeoutMs);
}
inline void setNonBlocking(Handle fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}
inline bool connectInProgress()
{
    return errno == EINPROGRESS;
}
inline Handle newSocket()
{
    return ::socket(AF_INET, SOCK_STREAM, 0);
}
#endif
}  // namespace loopback_peer

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(loopback_peer::Handle fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& o) noexcept : m_fd(o.release()) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept
    {
        if (this != &o) {
            reset();
            m_fd = o.release();
        }
        return *this;
    }
    loopback_peer::Handle get() const { return m_fd; }
    bool valid() const { return m_fd != loopback_peer::kInvalid; }
    loopback_peer::Handle release()
    {
        const loopback_peer::Handle fd = m_fd;
        m_fd = loopback_peer::kInvalid;
        return fd;
    }
    void reset()
    {
        if (valid())
            loopback_peer::closeHandle(m_fd);
        m_fd = loopback_peer::kInvalid;
    }

private:
    loopback_peer::Handle m_fd = loopback_peer::kInvalid;
};

inline sockaddr_in loopbackAddress(const char* address, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    return a;
}

// One accepted connection, seen from the peer's side.
class PeerConnection {
public:
    explicit PeerConnection(UniqueFd fd) : m_fd(std::move(fd)) {}

    bool send(const QByteArray& bytes)
    {
        return ::send(m_fd.get(), bytes.constData(), loopback_peer::Length(bytes.size()), loopback_peer::kSendFlags)
               == bytes.size();
    }

    // Reads until n bytes arrived, the stream ended or timeoutMs passed.
    QByteArray read(qsizetype n, int timeoutMs = 5000)
    {
        QByteArray got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < n) {
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{m_fd.get(), POLLIN, 0};
            if (loopback_peer::pollHandles(&p, 1, int(left.count())) <= 0)
                continue;
            char buf[4096];
            const loopback_peer::Received r = ::recv(m_fd.get(), buf, int(sizeof buf), 0);
            if (r <= 0) {
                m_ended = true;
                break;
            }
            got.append(buf, r);
        }
        return got;
    }

    // Reads everything until the client ends the stream; ended() tells
    // whether it did within timeoutMs.
    QByteArray readToEnd(int timeoutMs = 5000)
    {
        QByteArray all;
        while (!m_ended) {
            const QByteArray part = read(1 << 20, timeoutMs);
            if (part.isEmpty() && !m_ended)
                break;
            all += part;
        }
        return all;
    }
    bool ended() const { return m_ended; }

    // Orderly end of the peer's sending direction (FIN).
    void shutdownWrite() { ::shutdown(m_fd.get(), loopback_peer::kShutdownWrite); }
    // Abortive close: SO_LINGER with zero time makes close() send a reset.
    void reset()
    {
        const linger l{1, 0};
        ::setsockopt(m_fd.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
        m_fd.reset();
    }
    void close() { m_fd.reset(); }

private:
    UniqueFd m_fd;
    bool m_ended = false;
};

class LoopbackListener {
public:
    explicit LoopbackListener(const char* address = "127.0.0.1", int backlog = 8)
    {
        UniqueFd fd(loopback_peer::newSocket());
        const sockaddr_in a = loopbackAddress(address, 0);
        if (!fd.valid() || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0
            || ::listen(fd.get(), backlog) != 0)
            return;
        sockaddr_in bound{};
        loopback_peer::AddressLength len = sizeof bound;
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &len);
        m_port = ntohs(bound.sin_port);
        m_fd = std::move(fd);
    }

    bool isValid() const { return m_fd.valid(); }
    quint16 port() const { return m_port; }
    loopback_peer::Handle handle() const { return m_fd.get(); }

    std::unique_ptr<PeerConnection> accept(int timeoutMs = 5000)
    {
        pollfd p{m_fd.get(), POLLIN, 0};
        if (loopback_peer::pollHandles(&p, 1, timeoutMs) <= 0)
            return nullptr;
        UniqueFd c(::accept(m_fd.get(), nullptr, nullptr));
        if (!c.valid())
            return nullptr;
        return std::make_unique<PeerConnection>(std::move(c));
    }

private:
    UniqueFd m_fd;
    quint16 m_port = 0;
};

// A port on which nothing listens but which stays reserved for the test:
// bound, never listening, so a connect to it is refused.
class RefusingPort {
public:
    RefusingPort()
    {
        m_fd = UniqueFd(loopback_peer::newSocket());
        const sockaddr_in a = loopbackAddress("127.0.0.1", 0);
        ::bind(m_fd.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
        sockaddr_in bound{};
        loopback_peer::AddressLength len = sizeof bound;
        ::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&bound), &len);
        m_port = ntohs(bound.sin_port);
    }
    quint16 port() const { return m_port; }

private:
    UniqueFd m_fd;
    quint16 m_port = 0;
};

// A listener that answers no connect: its accept queue is full and never
// drained. Linux drops SYNs to a full queue, so further connects hang until
// their own time limit. ready() is false when the queue could not be filled.
// With fillNow false it starts as an ordinary listener (a link can connect
// and be accepted) and falls silent at fill().
class SilentListener {
public:
    explicit SilentListener(const char* address = "127.0.0.1", bool fillNow = true)
        : m_listener(address, 0), m_address(address)
    {
        if (fillNow)
            fill();
    }

    std::unique_ptr<PeerConnection> accept(int timeoutMs = 5000) { return m_listener.accept(timeoutMs); }

    bool fill()
    {
        if (!m_listener.isValid())
            return false;
        const sockaddr_in a = loopbackAddress(m_address, m_listener.port());
        for (int i = 0; i < 16; ++i) {
            UniqueFd c(loopback_peer::newSocket());
            loopback_peer::setNonBlocking(c.get());
            const int r = ::connect(c.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
            if (r != 0 && !loopback_peer::connectInProgress())
                return false;
            pollfd p{c.get(), POLLOUT, 0};
            const bool completed = r == 0 || loopback_peer::pollHandles(&p, 1, 300) > 0;
            m_fillers.push_back(std::move(c));
            if (!completed) {
                m_ready = true;  // this one hangs: the queue is full
                return true;
            }
        }
        return false;
    }
    bool ready() const { return m_ready; }
    quint16 port() const { return m_listener.port(); }

    // Frees the queue and accepts for timeoutMs: how many connections came
    // from anyone but the fillers (those that were still trying get in too).
    int acceptOthers(int timeoutMs)
    {
        std::vector<quint16> fillerPorts;
        for (const UniqueFd& c : m_fillers) {
            sockaddr_in local{};
            loopback_peer::AddressLength len = sizeof local;
            ::getsockname(c.get(), reinterpret_cast<sockaddr*>(&local), &len);
            fillerPorts.push_back(ntohs(local.sin_port));
        }
        int others = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return others;
            pollfd p{m_listener.handle(), POLLIN, 0};
            if (loopback_peer::pollHandles(&p, 1, int(left.count())) <= 0)
                continue;
            sockaddr_in peer{};
            loopback_peer::AddressLength len = sizeof peer;
            UniqueFd c(::accept(m_listener.handle(), reinterpret_cast<sockaddr*>(&peer), &len));
            if (!c.valid())
                continue;
            if (std::find(fillerPorts.begin(), fillerPorts.end(), ntohs(peer.sin_port)) == fillerPorts.end())
                ++others;
            m_accepted.push_back(std::move(c));
        }
    }

private:
    LoopbackListener m_listener;
    const char* m_address;
    std::vector<UniqueFd> m_fillers;
    std::vector<UniqueFd> m_accepted;
    bool m_ready = false;
};
