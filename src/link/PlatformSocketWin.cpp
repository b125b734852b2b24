#include "PlatformSocket.h"
#include "SocketErrorText.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#ifndef TCP_MAXRT
#define TCP_MAXRT 5  // ws2ipdef.h; older MinGW headers lack it
#endif

namespace {

// How long sent data may stay unacknowledged before the link counts as
// broken: a radio switched off mid-run must not leave the poller sending
// into a connection that looks alive.
constexpr DWORD kMaxRetransmitSeconds = 20;

// Winsock is started once for the process and left running until it ends.
void startWinsock()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

}  // namespace

struct PlatformSocket::Native {
    SOCKET s = INVALID_SOCKET;
    // Signalled by the socket's network events (connect done, data, close).
    WSAEVENT socketEvent = WSA_INVALID_EVENT;
    // Signalled by close(), so a thread waiting on the socket returns at once.
    HANDLE wake = nullptr;
    std::atomic<bool> aborted{false};
    // The reader thread answers negotiation while the window's thread sends
    // commands. One send at a time: a non-blocking send that meets another
    // one still in progress may be refused as "would block" although the
    // socket has room (Wine does that), and a refused send breaks the link.
    std::mutex sending;

    ~Native()
    {
        if (s != INVALID_SOCKET)
            ::closesocket(s);
        if (socketEvent != WSA_INVALID_EVENT)
            ::WSACloseEvent(socketEvent);
        if (wake)
            ::CloseHandle(wake);
    }
};

PlatformSocket::PlatformSocket() : m(std::make_unique<Native>())
{
    startWinsock();
    m->s
        = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (m->s == INVALID_SOCKET)
        throw errorFor(::WSAGetLastError());
    m->socketEvent = ::WSACreateEvent();
    if (m->socketEvent == WSA_INVALID_EVENT)
        throw errorFor(::WSAGetLastError());
    m->wake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m->wake)
        throw errorFor(WSAENOBUFS);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(m->s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        throw errorFor(::WSAGetLastError());
}

PlatformSocket::~PlatformSocket() = default;

void PlatformSocket::connect(std::uint32_t address, quint16 port, int timeoutMs)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(address);
    peer.sin_port = htons(port);

    // Event selection makes the socket non-blocking for good: the connect
    // completes in the background, and later sends never block the thread
    // that makes them.
    if (::WSAEventSelect(m->s, m->socketEvent, FD_CONNECT) != 0)
        throw errorFor(::WSAGetLastError());
    if (::connect(m->s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        const int error = ::WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            throw errorFor(error);

        using Clock = std::chrono::steady_clock;
        const bool limited = timeoutMs > 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
        for (;;) {
            DWORD wait = INFINITE;
            if (limited) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
                if (left.count() <= 0)
                    throw EIdConnectTimeout();
                wait = DWORD(left.count());
            }
            // close() from another thread ends the wait: a connect made in
            // the background must be cancellable at once.
            if (m_closed.load())
                throw errorFor(WSAEINTR);
            const HANDLE handles[2] = {m->socketEvent, m->wake};
            const DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, wait);
            if (r == WAIT_OBJECT_0 + 1)
                throw errorFor(WSAEINTR);
            if (r == WAIT_TIMEOUT)
                continue;  // the deadline check above decides
            if (r != WAIT_OBJECT_0)
                throw errorFor(WSAEINVAL);
            WSANETWORKEVENTS events{};
            if (::WSAEnumNetworkEvents(m->s, m->socketEvent, &events) != 0)
                throw errorFor(::WSAGetLastError());
            if (!(events.lNetworkEvents & FD_CONNECT))
                continue;
            if (events.iErrorCode[FD_CONNECT_BIT] != 0)
                throw errorFor(events.iErrorCode[FD_CONNECT_BIT]);
            break;
        }
    }
    const DWORD maxRt = kMaxRetransmitSeconds;
    ::setsockopt(m->s, IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&maxRt), sizeof maxRt);
    if (::WSAEventSelect(m->s, m->socketEvent, FD_READ | FD_CLOSE) != 0)
        throw errorFor(::WSAGetLastError());
}

PlatformSocket::Received PlatformSocket::receive(char* buffer, qsizetype capacity)
{
    Received result;
    for (;;) {
        if (m_closed.load()) {
            result.status = ReceiveStatus::Closed;
            return result;
        }
        if (m->aborted.load()) {
            result.status = ReceiveStatus::PeerClosed;
            return result;
        }
        const int n = ::recv(m->s, buffer, int(std::min<qsizetype>(capacity, 1 << 30)), 0);
        if (n > 0) {
            result.status = ReceiveStatus::Data;
            result.size = n;
            return result;
        }
        if (n == 0) {
            result.status = ReceiveStatus::PeerClosed;
            return result;
        }
        const int error = ::WSAGetLastError();
        if (error == WSAESHUTDOWN && (m_closed.load() || m->aborted.load()))
            continue;  // the checks above say which
        if (error != WSAEWOULDBLOCK) {
            result.error = error;
            return result;
        }
        const HANDLE handles[2] = {m->socketEvent, m->wake};
        const DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0 + 1)
            continue;  // woken by close() or abortTraffic()
        if (r != WAIT_OBJECT_0) {
            result.error = WSAEINVAL;
            return result;
        }
        // Resets the event; the next recv() re-arms the read notification.
        WSANETWORKEVENTS events{};
        ::WSAEnumNetworkEvents(m->s, m->socketEvent, &events);
        // A reset is reported with the close event; a recv() after it may
        // only see the end of the stream.
        if ((events.lNetworkEvents & FD_CLOSE) && events.iErrorCode[FD_CLOSE_BIT] != 0) {
            result.error = events.iErrorCode[FD_CLOSE_BIT];
            return result;
        }
    }
}

bool PlatformSocket::send(QByteArrayView bytes)
{
    // One non-blocking send: a socket that cannot take the whole command now
    // is as good as broken for a poller that sends every second, and waiting
    // for it would freeze the window.
    if (bytes.isEmpty())
        return true;
    const std::lock_guard lock(m->sending);
    const int n = ::send(m->s, bytes.data(), int(bytes.size()), 0);
    return n == int(bytes.size());
}

void PlatformSocket::close()
{
    if (m_closed.exchange(true))
        return;
    // Sending direction first, so the peer gets an orderly end of stream.
    ::shutdown(m->s, SD_SEND);
    ::shutdown(m->s, SD_BOTH);
    ::SetEvent(m->wake);
}

void PlatformSocket::abortTraffic()
{
    m->aborted.store(true);
    ::shutdown(m->s, SD_BOTH);
    ::SetEvent(m->wake);
}

std::optional<std::uint32_t> PlatformSocket::resolveIPv4(const QString& host)
{
    startWinsock();
    addrinfoW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfoW* found = nullptr;
    if (::GetAddrInfoW(reinterpret_cast<const wchar_t*>(host.utf16()), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    std::optional<std::uint32_t> address;
    for (const addrinfoW* a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr) {
            sockaddr_in in{};
            std::memcpy(&in, a->ai_addr, sizeof in);
            address = ntohl(in.sin_addr.s_addr);
            break;
        }
    }
    ::FreeAddrInfoW(found);
    return address;
}

EIdSocketError PlatformSocket::errorFor(int systemError)
{
    if (const char* text = WinsockErrorText(systemError))
        return EIdSocketError(systemError, text);
    // Not one of the usual ones: the system's own text.
    wchar_t* buffer = nullptr;
    const DWORD length
        = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, DWORD(systemError), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text = length ? QString::fromWCharArray(buffer, int(length)).trimmed() : QString();
    if (buffer)
        ::LocalFree(buffer);
    return EIdSocketError(systemError, text.toStdString());
}
