#pragma once

// The one place where the link touches the operating system's sockets. The
// POSIX build implements it in PlatformSocketPosix.cpp; a Windows build
// replaces that file with a Winsock one. Errors are reported with the
// Windows socket error numbers on every platform, since those are the
// numbers users of this program know.

#include "IdExceptions.h"

#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

// One TCP stream socket plus a way to wake a thread that waits on it. Owned
// through a shared pointer by the client and its reader thread, so the
// handle stays valid until neither can touch it any more: close() only stops
// the traffic and wakes the waiter; the handle is released with the object.
class PlatformSocket {
public:
    // Allocates the socket and binds it to any local address and a port the
    // system chooses. Throws EIdSocketError.
    PlatformSocket();
    ~PlatformSocket();
    PlatformSocket(const PlatformSocket&) = delete;
    PlatformSocket& operator=(const PlatformSocket&) = delete;

    // Connects to address:port (address in host byte order). timeoutMs <= 0
    // waits without limit. A close() from another thread ends the wait with
    // error 10004 (interrupted). Throws EIdConnectTimeout or EIdSocketError.
    // The connection then fails by itself when sent data stays
    // unacknowledged for about 20 s.
    void connect(std::uint32_t address, quint16 port, int timeoutMs);

    enum class ReceiveStatus {
        Data,        // size bytes arrived
        PeerClosed,  // orderly close by the peer
        Failed,      // reset or other error; error holds its number
        Closed,      // close() was called on this side
    };
    struct Received {
        ReceiveStatus status = ReceiveStatus::Failed;
        qsizetype size = 0;
        int error = 0;
    };
    // Waits without time limit until data, a close by either side or an
    // error, then takes at most capacity bytes.
    Received receive(char* buffer, qsizetype capacity);

    // Hands the bytes to the socket in one send that never waits. Never
    // raises SIGPIPE. Returns false when the socket rejects them or cannot
    // take all of them at once (its buffers are full).
    bool send(QByteArrayView bytes);

    // Shuts down the sending direction, then both, and wakes a thread waiting
    // in receive(). Safe to call from any thread, any number of times.
    void close();
    // Stops all traffic because the connection is broken: a waiting receive()
    // sees the end of the stream (not Closed), so the reader reports it.
    void abortTraffic();

    // The default name lookup: the first IPv4 address of host, host byte order.
    static std::optional<std::uint32_t> resolveIPv4(const QString& host);
    // The error for a system error number, with its Windows number and text.
    static EIdSocketError errorFor(int systemError);

private:
    struct Native;
    std::unique_ptr<Native> m;
    std::atomic<bool> m_closed{false};
};
