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
class TelnetClient {
public:
    TelnetClient();
    ~TelnetClient();  // Disconnect(), then releases the reader thread
    TelnetClient(const TelnetClient&) = delete;
    TelnetClient& operator=(const TelnetClient&) = delete;

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
    // Cancels a background connect still under way first. It is the
    // background connect below with the caller waiting for its outcome, so
    // both share the name lookup, the error texts and the roll-back.
    void Connect();

    // Connecting without blocking the caller. BeginConnect checks like
    // Connect and raises "Connecting to %s." (or "Resolving hostname %s.")
    // on the caller's thread, then a connect thread does the name lookup and
    // the TCP connect within ConnectTimeout. When that thread is done it calls
    // OnConnectDone on itself; the controlling thread then calls
    // CompleteConnect, which raises "Connected." and OnConnected there and
    // starts the reader thread, or discards the failed socket without any
    // event. Only one background connect runs at a time.
    enum class ConnectProgress { NotPending, Running, Connected, Failed };
    std::function<void()> OnConnectDone;  // on the connect thread; must only post
    // Throws EIdAlreadyConnected, EIdHostRequired or EIdPortRequired.
    void BeginConnect();
    // Running while the connect thread is still at work (nothing changes);
    // NotPending when no background connect was begun or it was cancelled.
    ConnectProgress CompleteConnect();
    // Ends a background connect under way without any event; waits for the
    // connect thread, which a close of its socket wakes at once. The name
    // lookup of a host that is no IPv4 literal is waited for to its end.
    void CancelConnect();
    bool ConnectPending() const;
    // Also cancels a background connect under way.
    void Disconnect(bool ANotifyPeer = true);
    // The characters as bytes, in one send that never waits; never throws.
    // A send the socket cannot take whole at once counts as a broken
    // connection, reported like a close by the peer.
    void SendString(const QString& S);
    // Counts the open connection as broken, as if the peer had closed it: the
    // reader thread reports "Disconnected.".
    void AbortConnection();
    // How long no byte has arrived on the connection (since it was made).
    qint64 InputSilenceMs() const;
    bool Connected() const;
    bool fIamTelnet() const;

    // ASCII: one character per byte, bytes above 127 become U+FFFD.
    static QString BytesToString(const TIdBytes& buffer);

private:
    // Throws what a connect with the current settings would fail on first.
    void checkConnectable() const;
    // Takes the outcome of the ended connect thread. A caller that waited for
    // it gets the failure thrown; a background one gets Failed.
    ConnectProgress takeConnectOutcome(bool waited);

    struct Impl;
    std::unique_ptr<Impl> d;
};
