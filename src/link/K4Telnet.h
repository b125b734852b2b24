#pragma once

#include "TelnetCommand.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <cstdint>

using TIdBytes = QByteArray;

enum class TIdStatus { hsResolving, hsConnecting, hsConnected, hsDisconnecting, hsDisconnected };

// Telnet client over TCP with a reader thread. Connect, Disconnect and
// SendString run on the caller's thread and raise their events there; data,
// telnet-command events and the "Disconnected." status of a connection the
// peer closed (or reset) are raised on the reader thread. The reader thread
// never waits for any other thread.
class K4Telnet {
public:
    K4Telnet();
    ~K4Telnet();  // Disconnect(), then releases the reader thread
    K4Telnet(const K4Telnet&) = delete;
    K4Telnet& operator=(const K4Telnet&) = delete;

    QString Host;
    quint16 Port = 23;
    int ConnectTimeout = 0;  // ms; 0 or -1: no limit
    int ReadTimeout = -1;
    QString Terminal = QStringLiteral("dumb");
    bool ThreadedEvent = false;

    // Events. Assign before Connect; each may be empty.
    std::function<void(void* sender, TIdStatus status, const QString& statusText)> OnStatus;
    std::function<void()> OnConnected;
    std::function<void()> OnDisconnected;
    std::function<void(const TIdBytes& buffer)> OnDataAvailable;
    std::function<void(TIdTelnetCommand status)> OnTelnetCommand;

    // Name lookup for a host that is no IPv4 literal: returns the IPv4 address
    // in host byte order, or nothing when the name cannot be resolved. Tests
    // replace it; the default asks the system resolver.
    std::function<std::optional<std::uint32_t>(const QString& host)> Resolver;

    // Throws EIdAlreadyConnected, EIdHostRequired, EIdPortRequired,
    // EIdConnectTimeout, EIdSocketError or EIdTelnetClientConnectError.
    void Connect();
    void Disconnect(bool ANotifyPeer = true);
    // One send per character; never throws.
    void SendString(const QString& S);
    bool Connected() const;
    bool fIamTelnet() const;

    // ASCII: one character per byte, bytes above 127 become U+FFFD.
    static QString BytesToString(const TIdBytes& buffer);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
