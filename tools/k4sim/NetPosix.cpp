#include "Net.h"
#include "NetCommon.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace k4sim {

namespace {

void setNonBlockingCloexec(int fd)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    const int fdFlags = fcntl(fd, F_GETFD, 0);
    if (fdFlags >= 0)
        fcntl(fd, F_SETFD, fdFlags | FD_CLOEXEC);
}

IoResult fromErrno()
{
    switch (errno) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINTR: return {IoStatus::WouldBlock, 0};
    case ECONNRESET:
    case ECONNABORTED: return {IoStatus::Reset, 0};
    case EPIPE:  // our side can no longer send: the connection is over
        return {IoStatus::Closed, 0};
    default: return {IoStatus::Error, 0};
    }
}

volatile std::sig_atomic_t g_stopRequested = 0;
int g_stopWriteFd = -1;

extern "C" void onStopSignal(int)
{
    g_stopRequested = 1;
    if (g_stopWriteFd >= 0) {
        const char byte = 1;
        // Nothing useful can be done if the pipe is full: the flag is set anyway.
        [[maybe_unused]] const ssize_t ignored = ::write(g_stopWriteFd, &byte, 1);
    }
}

struct sigaction g_oldInt;
struct sigaction g_oldTerm;
struct sigaction g_oldPipe;

}  // namespace

void Socket::reset()
{
    if (m_valid) {
        ::close(m_handle);
        m_valid = false;
    }
}

Socket listenTcp(const std::string& host, std::uint16_t port, std::uint16_t& boundPort, std::string& error)
{
    Address address;
    if (!parseAddress(host, port, address)) {
        error = "not a numeric address: " + host;
        return {};
    }
    Socket socket(::socket(address.storage.ss_family, SOCK_STREAM, 0));
    if (socket.handle() < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return {};
    }
    // A restarted simulator must not wait for old connections in TIME_WAIT.
    const int one = 1;
    setsockopt(socket.handle(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(socket.handle(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
        error = std::string("bind: ") + std::strerror(errno);
        return {};
    }
    if (::listen(socket.handle(), 8) != 0) {
        error = std::string("listen: ") + std::strerror(errno);
        return {};
    }
    setNonBlockingCloexec(socket.handle());
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (getsockname(socket.handle(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        error = std::string("getsockname: ") + std::strerror(errno);
        return {};
    }
    boundPort = portOf(bound);
    return socket;
}

Socket acceptClient(const Socket& listener)
{
    const int fd = ::accept(listener.handle(), nullptr, nullptr);
    if (fd < 0)
        return {};
    setNonBlockingCloexec(fd);
    return Socket(fd);
}

Socket connectLoopback(const std::string& host, std::uint16_t port, std::string& error)
{
    Address address;
    if (!isLoopbackAddress(host) || !parseAddress(host, port, address)) {
        error = "refusing to connect to a non-loopback address: " + host;
        return {};
    }
    Socket socket(::socket(address.storage.ss_family, SOCK_STREAM, 0));
    if (socket.handle() < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return {};
    }
    if (::connect(socket.handle(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
        error = std::string("connect: ") + std::strerror(errno);
        return {};
    }
    return socket;
}

IoResult sendSome(const Socket& socket, const void* data, std::size_t size)
{
#ifdef MSG_NOSIGNAL
    const int flags = MSG_NOSIGNAL;
#else
    const int flags = 0;
#endif
    const ssize_t sent = ::send(socket.handle(), data, size, flags);
    if (sent < 0)
        return fromErrno();
    return {IoStatus::Ok, static_cast<std::size_t>(sent)};
}

IoResult recvSome(const Socket& socket, void* data, std::size_t size)
{
    const ssize_t got = ::recv(socket.handle(), data, size, 0);
    if (got < 0)
        return fromErrno();
    if (got == 0)
        return {IoStatus::Closed, 0};
    return {IoStatus::Ok, static_cast<std::size_t>(got)};
}

void setNoDelay(const Socket& socket, bool on)
{
    const int value = on ? 1 : 0;
    setsockopt(socket.handle(), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

void shutdownSend(const Socket& socket)
{
    ::shutdown(socket.handle(), SHUT_WR);
}

void closeWithReset(Socket& socket)
{
    if (!socket.valid())
        return;
    linger lingerOff{};
    lingerOff.l_onoff = 1;
    lingerOff.l_linger = 0;
    setsockopt(socket.handle(), SOL_SOCKET, SO_LINGER, &lingerOff, sizeof lingerOff);
    socket.reset();
}

void pollHandles(std::vector<PollEntry>& entries, int timeoutMs)
{
    std::vector<pollfd> fds(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        fds[i].fd = entries[i].handle;
        fds[i].events = static_cast<short>((entries[i].wantRead ? POLLIN : 0) | (entries[i].wantWrite ? POLLOUT : 0));
        entries[i].readable = entries[i].writable = entries[i].failed = false;
    }
    if (::poll(fds.data(), static_cast<nfds_t>(fds.size()), timeoutMs) <= 0)
        return;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const short r = fds[i].revents;
        entries[i].readable = (r & (POLLIN | POLLHUP | POLLERR)) != 0 && entries[i].wantRead;
        entries[i].writable = (r & (POLLOUT | POLLERR | POLLHUP)) != 0 && entries[i].wantWrite;
        entries[i].failed = (r & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
}

StopSignal::StopSignal()
{
    int fds[2] = {-1, -1};
    if (::pipe(fds) == 0) {
        m_readEnd = Socket(fds[0]);
        m_writeEnd = Socket(fds[1]);
        setNonBlockingCloexec(fds[0]);
        setNonBlockingCloexec(fds[1]);
        g_stopWriteFd = fds[1];
    }
    g_stopRequested = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_oldInt);
    sigaction(SIGTERM, &action, &g_oldTerm);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &g_oldPipe);
}

StopSignal::~StopSignal()
{
    sigaction(SIGINT, &g_oldInt, nullptr);
    sigaction(SIGTERM, &g_oldTerm, nullptr);
    sigaction(SIGPIPE, &g_oldPipe, nullptr);
    g_stopWriteFd = -1;
}

NativeHandle StopSignal::handle() const
{
    return m_readEnd.handle();
}

bool StopSignal::triggered() const
{
    return g_stopRequested != 0;
}

}  // namespace k4sim
