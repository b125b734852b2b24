#pragma once

#include "ReplyFramer.h"
#include "TelnetClient.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>

// The link to the radio as one object: it owns the telnet client, a reply
// framer for each connection and the connection tag, and hands everything the
// client raises on its reader or connect thread over to the thread this
// object lives on. Its signals carry plain values and are always emitted on
// that thread, so whoever listens never has to ask where it runs.
//
// Events of a connect or disconnect made on this thread (the status texts,
// connected(), disconnected()) are emitted inside that call, in the client's
// order; a close by the radio, received data and the end of a background
// connect arrive as queued events.
class RadioLink : public QObject {
    Q_OBJECT
public:
    explicit RadioLink(QObject* parent = nullptr);
    ~RadioLink() override;  // disconnects, without emitting anything

    void setHost(const QString& host) { m_client->Host = host; }
    void setPort(quint16 port) { m_client->Port = port; }
    quint16 port() const { return m_client->Port; }
    // ms; 0 or -1: no limit.
    void setConnectTimeout(int ms) { m_client->ConnectTimeout = ms; }

    // Connects and waits for the outcome, handling no events meanwhile: at
    // most the connect limit, plus the name lookup of a host that is no IPv4
    // literal. The same background connect as BeginConnect, with its wait.
    // Throws what the connect failed on (see TelnetClient::Connect).
    void Connect();
    // Starts a background connect; connectDone() follows once it has an
    // outcome, and CompleteConnect then takes it. Throws like
    // TelnetClient::BeginConnect.
    void BeginConnect();
    TelnetClient::ConnectProgress CompleteConnect();
    void CancelConnect();
    bool ConnectPending() const;

    // Closes the link; data of the closed connection still on its way is dropped.
    void Disconnect();
    // Never throws; a failed send counts as a close by the radio.
    void SendString(const QString& text);
    bool Connected() const;

    // While watched, a connection from which no byte at all has arrived for
    // the silence limit counts as lost, exactly like one the radio closed: a
    // radio (or a relay in front of it) that keeps the connection open but
    // never answers again is otherwise never noticed.
    static constexpr std::chrono::milliseconds kSilenceLimit{15000};
    void watchSilence(bool on);
    // Tests run the same rule on a shorter clock.
    void setSilenceLimit(std::chrono::milliseconds limit);

    // The client underneath, for tests that play its reader thread.
    TelnetClient& telnet() { return *m_client; }

signals:
    // The status texts of a connect or disconnect made on this thread.
    void status(TIdStatus status, const QString& text);
    // The status the radio's side caused: its close or reset of the
    // connection, or a send that failed ("Disconnected."). Queued behind the
    // chunks read before it.
    void statusFromRadio(TIdStatus status, const QString& text);
    void connected();
    // A disconnect made on this side, between "Disconnecting." and "Disconnected.".
    void disconnected();
    // One chunk as it arrived, with the complete replies it finishes.
    void dataAvailable(const TIdBytes& buffer, const QStringList& replies);
    // A background connect has its outcome: CompleteConnect takes it.
    void connectDone();

private:
    // A new connection starts with a new tag and an empty framer: nothing
    // read on an earlier connection joins it.
    void newConnection();
    void deliver(const TIdBytes& buffer, quint64 tag);

    void checkSilence();

    std::unique_ptr<TelnetClient> m_client;
    ReplyFramer m_framer;
    QTimer m_silenceCheck;
    std::chrono::milliseconds m_silenceLimit = kSilenceLimit;
    // Read by the reader thread when it hands a chunk over.
    std::atomic<quint64> m_tag{0};
};
