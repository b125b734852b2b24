#pragma once

// The far end of the link for tests: plain POSIX sockets on loopback, driven
// step by step from the test thread (no threads of its own, so a failure
// points at the step that failed).

#include <QByteArray>
#include <QtGlobal>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <vector>

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
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
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
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
        return ::send(m_fd.get(), bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
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
            if (::poll(&p, 1, int(left.count())) <= 0)
                continue;
            char buf[4096];
            const ssize_t r = ::recv(m_fd.get(), buf, sizeof buf, 0);
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
    void shutdownWrite() { ::shutdown(m_fd.get(), SHUT_WR); }
    // Abortive close: SO_LINGER with zero time makes close() send a reset.
    void reset()
    {
        const linger l{1, 0};
        ::setsockopt(m_fd.get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
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
        UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
        const sockaddr_in a = loopbackAddress(address, 0);
        if (fd.get() < 0 || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0
            || ::listen(fd.get(), backlog) != 0)
            return;
        sockaddr_in bound{};
        socklen_t len = sizeof bound;
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &len);
        m_port = ntohs(bound.sin_port);
        m_fd = std::move(fd);
    }

    bool isValid() const { return m_fd.get() >= 0; }
    quint16 port() const { return m_port; }
    int handle() const { return m_fd.get(); }

    std::unique_ptr<PeerConnection> accept(int timeoutMs = 5000)
    {
        pollfd p{m_fd.get(), POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return nullptr;
        UniqueFd c(::accept(m_fd.get(), nullptr, nullptr));
        if (c.get() < 0)
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
        m_fd = UniqueFd(::socket(AF_INET, SOCK_STREAM, 0));
        const sockaddr_in a = loopbackAddress("127.0.0.1", 0);
        ::bind(m_fd.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
        sockaddr_in bound{};
        socklen_t len = sizeof bound;
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
            UniqueFd c(::socket(AF_INET, SOCK_STREAM, 0));
            ::fcntl(c.get(), F_SETFL, ::fcntl(c.get(), F_GETFL) | O_NONBLOCK);
            const int r = ::connect(c.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
            if (r != 0 && errno != EINPROGRESS)
                return false;
            pollfd p{c.get(), POLLOUT, 0};
            const bool completed = r == 0 || ::poll(&p, 1, 300) > 0;
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
            socklen_t len = sizeof local;
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
            if (::poll(&p, 1, int(left.count())) <= 0)
                continue;
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            UniqueFd c(::accept(m_listener.handle(), reinterpret_cast<sockaddr*>(&peer), &len));
            if (c.get() < 0)
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
