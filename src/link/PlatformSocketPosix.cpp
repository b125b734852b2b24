#include "PlatformSocket.h"
#include "SocketErrorText.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
#else
constexpr int kSendFlags = MSG_DONTWAIT;  // SO_NOSIGPIPE is set on the socket instead
#endif

// Data the radio never acknowledges fails the connection after this long,
// instead of after the kernel's retransmissions give up (about 15 minutes).
constexpr unsigned kUnacknowledgedLimitMs = 20000;

// The Windows socket error number for a system error number, so reports read
// the same on every platform; 0 where there is none.
int winsockNumberFor(int e)
{
    switch (e) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES:
    case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE:
    case ENFILE: return 10024;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EMSGSIZE: return 10040;
    case EPROTONOSUPPORT: return 10043;
    case EOPNOTSUPP: return 10045;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS:
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case EPIPE:
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return 0;
    }
}

void setCloseOnExec(int fd)
{
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

bool setNonBlocking(int fd, bool on)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    return ::fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

}  // namespace

struct PlatformSocket::Native {
    int fd = -1;
    // A pipe whose read end sits in the receive wait next to the socket:
    // close() writes one byte so the waiting reader returns at once, whatever
    // the socket's own state is.
    int wakeRead = -1;
    int wakeWrite = -1;

    ~Native()
    {
        for (int h : {fd, wakeRead, wakeWrite})
            if (h >= 0)
                ::close(h);
    }
};

PlatformSocket::PlatformSocket() : m(std::make_unique<Native>())
{
    m->fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m->fd < 0)
        throw errorFor(errno);
    setCloseOnExec(m->fd);
#if !defined(MSG_NOSIGNAL) && defined(SO_NOSIGPIPE)
    const int one = 1;
    ::setsockopt(m->fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif

    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        throw errorFor(errno);
    m->wakeRead = pipeEnds[0];
    m->wakeWrite = pipeEnds[1];
    setCloseOnExec(m->wakeRead);
    setCloseOnExec(m->wakeWrite);
    setNonBlocking(m->wakeWrite, true);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(m->fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        throw errorFor(errno);
}

PlatformSocket::~PlatformSocket() = default;

void PlatformSocket::connect(std::uint32_t address, quint16 port, int timeoutMs)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(address);
    peer.sin_port = htons(port);

    // A non-blocking connect and a wait on the socket give the same outcome as
    // a blocking connect on a helper thread, without the thread.
    if (!setNonBlocking(m->fd, true))
        throw errorFor(errno);
    if (::connect(m->fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS && errno != EINTR)
            throw errorFor(errno);

        using Clock = std::chrono::steady_clock;
        const bool limited = timeoutMs > 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
        for (;;) {
            int wait = -1;
            if (limited) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
                if (left.count() <= 0)
                    throw EIdConnectTimeout();
                wait = int(left.count());
            }
            // close() from another thread ends the wait: a connect made in
            // the background must be cancellable at once.
            if (m_closed.load())
                throw errorFor(EINTR);
            pollfd p[2] = {{m->fd, POLLOUT, 0}, {m->wakeRead, POLLIN, 0}};
            const int r = ::poll(p, 2, wait);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                throw errorFor(errno);
            }
            if (p[1].revents != 0)
                throw errorFor(EINTR);
            if (r == 0)
                continue;  // the deadline check above decides
            break;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(m->fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
            throw errorFor(errno);
        if (soError != 0)
            throw errorFor(soError);
    }
    if (!setNonBlocking(m->fd, false))
        throw errorFor(errno);
#ifdef TCP_USER_TIMEOUT
    const unsigned limit = kUnacknowledgedLimitMs;
    ::setsockopt(m->fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &limit, sizeof limit);
#endif
}

PlatformSocket::Received PlatformSocket::receive(char* buffer, qsizetype capacity)
{
    Received result;
    for (;;) {
        if (m_closed.load()) {
            result.status = ReceiveStatus::Closed;
            return result;
        }
        pollfd p[2] = {{m->fd, POLLIN, 0}, {m->wakeRead, POLLIN, 0}};
        const int r = ::poll(p, 2, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            result.error = errno;
            return result;
        }
        if (p[1].revents != 0) {
            result.status = ReceiveStatus::Closed;
            return result;
        }
        if (p[0].revents & POLLNVAL) {
            result.error = EBADF;
            return result;
        }
        if (p[0].revents == 0)
            continue;
        const ssize_t n = ::recv(m->fd, buffer, size_t(capacity), 0);
        if (n > 0) {
            result.status = ReceiveStatus::Data;
            result.size = n;
            return result;
        }
        if (n == 0) {
            result.status = ReceiveStatus::PeerClosed;
            return result;
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
            continue;
        result.error = errno;
        return result;
    }
}

bool PlatformSocket::send(QByteArrayView bytes)
{
    // Never waits: a peer that stops reading fills the buffers, and a send
    // that then blocked would freeze whoever called it. What the socket
    // cannot take whole at once counts as failed.
    for (;;) {
        const ssize_t n = ::send(m->fd, bytes.data(), size_t(bytes.size()), kSendFlags);
        if (n < 0 && errno == EINTR)
            continue;
        return n == bytes.size();
    }
}

void PlatformSocket::close()
{
    if (m_closed.exchange(true))
        return;
    // Sending direction first, so the peer gets an orderly end of stream.
    ::shutdown(m->fd, SHUT_WR);
    ::shutdown(m->fd, SHUT_RDWR);
    const char wake = 1;
    [[maybe_unused]] const ssize_t n = ::write(m->wakeWrite, &wake, 1);
}

void PlatformSocket::abortTraffic()
{
    ::shutdown(m->fd, SHUT_RDWR);
}

std::optional<std::uint32_t> PlatformSocket::resolveIPv4(const QString& host)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray name = host.toUtf8();
    if (::getaddrinfo(name.constData(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    std::optional<std::uint32_t> address;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr) {
            sockaddr_in in{};
            std::memcpy(&in, a->ai_addr, sizeof in);
            address = ntohl(in.sin_addr.s_addr);
            break;
        }
    }
    ::freeaddrinfo(found);
    return address;
}

EIdSocketError PlatformSocket::errorFor(int systemError)
{
    const int number = winsockNumberFor(systemError);
    if (const char* text = WinsockErrorText(number))
        return EIdSocketError(number, text);
    // No Windows counterpart: keep the system's own number and text.
    return EIdSocketError(systemError, std::generic_category().message(systemError));
}
