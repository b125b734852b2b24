#include "Net.h"
#include "NetCommon.h"  // Winsock's headers, before windows.h

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace k4sim {

namespace {

void startWinsock()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

void setNonBlocking(SOCKET s)
{
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}

std::string lastErrorText(const char* what)
{
    return std::string(what) + ": Winsock error " + std::to_string(WSAGetLastError());
}

// A socket created without inheritance, so a child process never keeps the
// simulator's port open.
Socket newSocket(int family)
{
    startWinsock();
    const SOCKET s = WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return {};
    return Socket(static_cast<NativeHandle>(s));
}

SOCKET native(const Socket& socket)
{
    return static_cast<SOCKET>(socket.handle());
}

IoResult fromLastError()
{
    switch (WSAGetLastError()) {
    case WSAEWOULDBLOCK:
    case WSAEINTR: return {IoStatus::WouldBlock, 0};
    case WSAECONNRESET:
    case WSAECONNABORTED: return {IoStatus::Reset, 0};
    case WSAESHUTDOWN:  // our side can no longer send: the connection is over
        return {IoStatus::Closed, 0};
    default: return {IoStatus::Error, 0};
    }
}

std::atomic<bool> g_stopRequested{false};
std::atomic<SOCKET> g_stopWrite{INVALID_SOCKET};
// The thread that made the StopSignal: the one whose message queue receives
// a polite termination request.
std::atomic<DWORD> g_stopThread{0};

// A byte on the stop pair wakes the simulator's wait, like the signal pipe
// on POSIX.
void requestStop()
{
    g_stopRequested = true;
    const SOCKET s = g_stopWrite.load();
    if (s != INVALID_SOCKET) {
        const char byte = 1;
        ::send(s, &byte, 1, 0);
    }
}

// Console control events (Ctrl+C, Ctrl+Break, the console closing) arrive
// on a thread of their own.
BOOL WINAPI onConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    requestStop();
    return TRUE;
}

// A program without windows is asked to end with WM_CLOSE posted to its main
// thread (what a parent's QProcess::terminate() and taskkill without /F do).
void checkCloseRequest()
{
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE)
        || ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        requestStop();
}

// Longest stretch a wait on the stop thread goes without looking at its
// message queue.
constexpr int kMessageCheckMs = 50;

}  // namespace

void Socket::reset()
{
    if (m_valid) {
        ::closesocket(static_cast<SOCKET>(m_handle));
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
    Socket socket = newSocket(address.storage.ss_family);
    if (!socket.valid()) {
        error = lastErrorText("socket");
        return {};
    }
    // Windows lets a second listener share a port with SO_REUSEADDR; the
    // exclusive flag refuses that. Old connections in TIME_WAIT do not block
    // a restarted simulator on Windows anyway.
    const BOOL one = TRUE;
    setsockopt(native(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
    if (::bind(native(socket), reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
        error = lastErrorText("bind");
        return {};
    }
    if (::listen(native(socket), 8) != 0) {
        error = lastErrorText("listen");
        return {};
    }
    setNonBlocking(native(socket));
    sockaddr_storage bound{};
    int length = sizeof bound;
    if (getsockname(native(socket), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        error = lastErrorText("getsockname");
        return {};
    }
    boundPort = portOf(bound);
    return socket;
}

Socket acceptClient(const Socket& listener)
{
    const SOCKET s = ::accept(native(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET)
        return {};
    setNonBlocking(s);
    return Socket(static_cast<NativeHandle>(s));
}

Socket connectLoopback(const std::string& host, std::uint16_t port, std::string& error)
{
    Address address;
    if (!isLoopbackAddress(host) || !parseAddress(host, port, address)) {
        error = "refusing to connect to a non-loopback address: " + host;
        return {};
    }
    Socket socket = newSocket(address.storage.ss_family);
    if (!socket.valid()) {
        error = lastErrorText("socket");
        return {};
    }
    if (::connect(native(socket), reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
        error = lastErrorText("connect");
        return {};
    }
    return socket;
}

IoResult sendSome(const Socket& socket, const void* data, std::size_t size)
{
    const int sent = ::send(native(socket), static_cast<const char*>(data), static_cast<int>(size), 0);
    if (sent == SOCKET_ERROR)
        return fromLastError();
    return {IoStatus::Ok, static_cast<std::size_t>(sent)};
}

IoResult recvSome(const Socket& socket, void* data, std::size_t size)
{
    const int got = ::recv(native(socket), static_cast<char*>(data), static_cast<int>(size), 0);
    if (got == SOCKET_ERROR)
        return fromLastError();
    if (got == 0)
        return {IoStatus::Closed, 0};
    return {IoStatus::Ok, static_cast<std::size_t>(got)};
}

void setNoDelay(const Socket& socket, bool on)
{
    const BOOL value = on ? TRUE : FALSE;
    setsockopt(native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value), sizeof value);
}

void shutdownSend(const Socket& socket)
{
    ::shutdown(native(socket), SD_SEND);
}

void closeWithReset(Socket& socket)
{
    if (!socket.valid())
        return;
    linger lingerOff{};
    lingerOff.l_onoff = 1;
    lingerOff.l_linger = 0;
    setsockopt(native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lingerOff), sizeof lingerOff);
    socket.reset();
}

void pollHandles(std::vector<PollEntry>& entries, int timeoutMs)
{
    std::vector<WSAPOLLFD> fds(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        fds[i].fd = static_cast<SOCKET>(entries[i].handle);
        // WSAPoll refuses POLLPRI and friends; only the normal read and write bands.
        fds[i].events
            = static_cast<short>((entries[i].wantRead ? POLLRDNORM : 0) | (entries[i].wantWrite ? POLLWRNORM : 0));
        fds[i].revents = 0;
        entries[i].readable = entries[i].writable = entries[i].failed = false;
    }
    int ready = 0;
    if (g_stopThread.load() == ::GetCurrentThreadId()) {
        // WSAPoll cannot wait on the message queue: wait in slices and look
        // at the queue between them.
        const ULONGLONG start = ::GetTickCount64();
        for (;;) {
            checkCloseRequest();
            int slice = kMessageCheckMs;
            if (timeoutMs >= 0) {
                const long long left = timeoutMs - static_cast<long long>(::GetTickCount64() - start);
                slice = static_cast<int>(std::max<long long>(0, std::min<long long>(left, kMessageCheckMs)));
            }
            ready = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), slice);
            if (ready != 0 || (timeoutMs >= 0 && slice < kMessageCheckMs))
                break;
        }
    } else {
        ready = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
    }
    if (ready <= 0)
        return;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const short r = fds[i].revents;
        entries[i].readable = (r & (POLLRDNORM | POLLHUP | POLLERR)) != 0 && entries[i].wantRead;
        entries[i].writable = (r & (POLLWRNORM | POLLERR | POLLHUP)) != 0 && entries[i].wantWrite;
        entries[i].failed = (r & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
}

StopSignal::StopSignal()
{
    // WSAPoll waits on sockets only, so the wake-up is a loopback pair.
    std::uint16_t port = 0;
    std::string error;
    Socket listener = listenTcp("127.0.0.1", 0, port, error);
    if (listener.valid()) {
        Socket writeEnd = connectLoopback("127.0.0.1", port, error);
        for (int i = 0; writeEnd.valid() && !m_readEnd.valid() && i < 1000; ++i) {
            m_readEnd = acceptClient(listener);
            if (!m_readEnd.valid())
                ::Sleep(1);
        }
        if (m_readEnd.valid()) {
            m_writeEnd = std::move(writeEnd);
            g_stopWrite = native(m_writeEnd);
        }
    }
    g_stopRequested = false;
    // Gives this thread its message queue now, so a WM_CLOSE posted to it
    // before its first wait is kept.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    g_stopThread = ::GetCurrentThreadId();
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

StopSignal::~StopSignal()
{
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    g_stopThread = 0;
    g_stopWrite = INVALID_SOCKET;
}

NativeHandle StopSignal::handle() const
{
    return m_readEnd.handle();
}

bool StopSignal::triggered() const
{
    return g_stopRequested.load();
}

}  // namespace k4sim
