// Thin socket layer of the radio simulator. Everything that touches the
// operating system's sockets, polling and signals lives behind these
// declarations; NetPosix.cpp implements them for POSIX systems and NetWin.cpp
// with Winsock and WSAPoll, each with what NetCommon.cpp shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace k4sim {

#ifdef _WIN32
using NativeHandle = std::uintptr_t;
#else
using NativeHandle = int;
#endif

// Owns one socket (or pipe end) and closes it on destruction. Move-only.
class Socket {
public:
    Socket() = default;
    explicit Socket(NativeHandle handle) : m_handle(handle), m_valid(true) {}
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool valid() const { return m_valid; }
    NativeHandle handle() const { return m_handle; }
    // Closes the socket now (orderly; pending output still goes out).
    void reset();

private:
    NativeHandle m_handle{};
    bool m_valid = false;
};

enum class IoStatus { Ok, WouldBlock, Closed, Reset, Error };

struct IoResult {
    IoStatus status = IoStatus::Ok;
    std::size_t bytes = 0;
};

// A numeric address literal ("127.0.0.1", "::1"); "localhost" is taken as
// 127.0.0.1 without asking any resolver. Returns false for anything else.
bool isAddressLiteral(const std::string& host);
// True for 127.0.0.0/8, ::1 and IPv4-mapped 127.0.0.0/8.
bool isLoopbackAddress(const std::string& host);

// Binds and listens on host:port (port 0: the system picks one). The socket is
// non-blocking. On failure returns an invalid socket and sets error.
Socket listenTcp(const std::string& host, std::uint16_t port, std::uint16_t& boundPort, std::string& error);
// Accepts one pending client as a non-blocking socket; invalid when none waits.
Socket acceptClient(const Socket& listener);
// Blocking connect to a loopback address literal (used by tests). Refuses any
// address that is not loopback.
Socket connectLoopback(const std::string& host, std::uint16_t port, std::string& error);

IoResult sendSome(const Socket& socket, const void* data, std::size_t size);
IoResult recvSome(const Socket& socket, void* data, std::size_t size);

void setNoDelay(const Socket& socket, bool on);
// Sends FIN; the socket stays open for reading.
void shutdownSend(const Socket& socket);
// Closes with SO_LINGER 0 so that the peer sees a reset instead of a FIN.
void closeWithReset(Socket& socket);

struct PollEntry {
    NativeHandle handle{};
    bool wantRead = false;
    bool wantWrite = false;
    bool readable = false;  // also set on hang-up and error, so that a read reports them
    bool writable = false;
    bool failed = false;  // hang-up or error, reported even when neither was wanted
};

// Waits until one entry is ready or timeoutMs passes (-1: no limit).
// Interrupted waits return normally with nothing ready.
void pollHandles(std::vector<PollEntry>& entries, int timeoutMs);

// Turns SIGINT/SIGTERM into a readable handle, so the event loop wakes up
// through its normal wait; SIGPIPE is ignored while it exists. One at a time.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    NativeHandle handle() const;
    bool triggered() const;

private:
    Socket m_readEnd;
    Socket m_writeEnd;
};

}  // namespace k4sim
