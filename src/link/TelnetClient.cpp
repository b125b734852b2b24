#include "TelnetClient.h"

#include "IdExceptions.h"
#include "Ipv4Literal.h"
#include "PlatformSocket.h"
#include "TelnetParser.h"

#include <QScopeGuard>

#include <atomic>
#include <chrono>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr qsizetype kReceiveSize = 32768;

// Which client's reader thread the current thread is, if any. Lets
// Disconnect tell whether it may wait for the reader without a shared
// thread id that the controlling thread writes.
thread_local const void* tl_readerOf = nullptr;

}  // namespace

struct TelnetClient::Impl {
    explicit Impl(TelnetClient* owner) : q(owner) {}

    TelnetClient* const q;

    // Set and released by the controlling thread only; the reader thread
    // holds its own reference, so the handle outlives both users.
    std::shared_ptr<PlatformSocket> socket;
    std::thread reader;

    // Read across threads.
    std::atomic<bool> opened{false};        // set when a connect starts, cleared at close
    std::atomic<bool> closedByPeer{false};  // end of stream, reset or a failed send
    std::atomic<bool> inputPending{false};  // received bytes not yet parsed
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> iamTelnet{false};

    // A background connect. The socket and the thread handle belong to the
    // controlling thread; the connect thread works on its own reference to
    // the socket and publishes its outcome through connectDone.
    std::shared_ptr<PlatformSocket> pendingSocket;
    std::thread connector;
    std::atomic<bool> connectDone{false};
    std::exception_ptr connectError;              // written before connectDone
    std::optional<std::uint32_t> pendingAddress;  // written before connectDone
    bool pendingResolved = false;                 // the host needed a name lookup

    // When the last bytes arrived (or the connection was made), on the
    // steady clock, which stands still while the computer sleeps.
    std::atomic<qint64> lastInputMs{0};
    static qint64 nowMs()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    bool onReaderThread() const { return tl_readerOf == this; }

    // The connection is broken: stopping the traffic lets the reader see the
    // end and report it as a close by the peer.
    void breakConnection()
    {
        closedByPeer = true;
        if (socket)
            socket->abortTraffic();
    }

    void status(TIdStatus kind, const QString& text)
    {
        if (q->OnStatus)
            q->OnStatus(q, kind, text);
    }

    // Waits for an ended (or ending) reader thread and lets it go. Never on
    // the reader itself: it cannot wait for its own end.
    void releaseReader()
    {
        if (reader.joinable() && !onReaderThread())
            reader.join();
    }

    // Lets go of a connection the peer closed, so a new one can start.
    void dropEndedConnection()
    {
        stopRequested = true;
        if (socket)
            socket->close();
        releaseReader();
        socket.reset();
        stopRequested = false;
        closedByPeer = false;
        inputPending = false;
    }

    void cancelConnect()
    {
        if (!connector.joinable())
            return;
        if (pendingSocket)
            pendingSocket->close();  // wakes the connect wait at once
        connector.join();
        pendingSocket.reset();
        connectError = nullptr;
        connectDone = false;
    }

    // Closes the connection the reader found broken, once, with the status
    // text that tells its owner.
    void reportLost(PlatformSocket& sock)
    {
        closedByPeer = true;
        if (opened.exchange(false)) {
            sock.close();
            status(TIdStatus::hsDisconnected, QStringLiteral("Disconnected."));
        }
    }

    void startReader();
    void readerMain(std::shared_ptr<PlatformSocket> sock, TelnetParser parser);
    void deliver(PlatformSocket& sock, const std::vector<TelnetParser::Event>& events);
};

void TelnetClient::Impl::deliver(PlatformSocket& sock, const std::vector<TelnetParser::Event>& events)
{
    for (const TelnetParser::Event& e : events) {
        switch (e.kind) {
        case TelnetParser::Event::Kind::Data:
            if (!q->OnDataAvailable)
                throw EIdTelnetServerOnDataAvailableIsNil();
            q->OnDataAvailable(e.bytes);
            break;
        case TelnetParser::Event::Kind::Reply:
            // A failed answer means a broken connection; stopping the traffic
            // lets the next receive see the end and report it.
            if (!sock.send(e.bytes)) {
                closedByPeer = true;
                sock.abortTraffic();
            }
            break;
        case TelnetParser::Event::Kind::Command:
            if (q->OnTelnetCommand)
                q->OnTelnetCommand(e.command);
            break;
        }
    }
}

void TelnetClient::Impl::readerMain(std::shared_ptr<PlatformSocket> sock, TelnetParser parser)
{
    tl_readerOf = this;
    QByteArray buffer(kReceiveSize, Qt::Uninitialized);
    std::vector<TelnetParser::Event> events;
    try {
        while (!stopRequested.load()) {
            const PlatformSocket::Received r = sock->receive(buffer.data(), buffer.size());
            if (r.status == PlatformSocket::ReceiveStatus::Data) {
                lastInputMs = nowMs();
                inputPending = true;
                events.clear();
                parser.feed(QByteArrayView(buffer.constData(), r.size), events);
                if (parser.iamTelnet())
                    iamTelnet = true;
                inputPending = false;
                deliver(*sock, events);
                continue;
            }
            if (r.status == PlatformSocket::ReceiveStatus::Closed)
                break;  // closed on this side: Disconnect reports it
            // The peer ended the connection, in order or by a reset or any
            // other failure: all of them are reported the same way, so the
            // window learns that the link is gone.
            reportLost(*sock);
            break;
        }
    } catch (...) {
        // A reader that ends on an error reads no more: the link is lost,
        // and is reported like any other loss.
        inputPending = false;
        try {
            reportLost(*sock);
        } catch (...) {
            // Nothing is left to tell.
        }
    }
    inputPending = false;
    tl_readerOf = nullptr;
}

void TelnetClient::Impl::startReader()
{
    iamTelnet = false;
    lastInputMs = nowMs();
    try {
        reader = std::thread(&Impl::readerMain, this, socket, TelnetParser(q->Terminal));
    } catch (const std::system_error&) {
        // A connection nobody reads is lost as soon as it is made: it is
        // closed and reported like one the peer closed, so whoever keeps the
        // link up tries again. The caller's own disconnect events (which
        // would stop the polling) are not raised.
        opened = false;
        closedByPeer = false;
        socket->close();
        socket.reset();
        status(TIdStatus::hsDisconnected, QStringLiteral("Disconnected."));
        throw EIdTelnetClientConnectError();
    }
}

TelnetClient::TelnetClient() : d(std::make_unique<Impl>(this))
{
    Resolver = &PlatformSocket::resolveIPv4;
}

TelnetClient::~TelnetClient()
{
    try {
        Disconnect();
    } catch (...) {
        // A throwing handler must not escape a destructor.
    }
    if (d->reader.joinable()) {
        if (d->onReaderThread())
            d->reader.detach();
        else
            d->reader.join();
    }
}

void TelnetClient::checkConnectable() const
{
    if (Connected())
        throw EIdAlreadyConnected();
    if (Host.isEmpty())
        throw EIdHostRequired();
    if (Port == 0)
        throw EIdPortRequired();
}

void TelnetClient::Connect()
{
    // The same connect as a background one, with the caller waiting for it:
    // the connect thread is bounded by ConnectTimeout (plus a name lookup),
    // and the caller handles no events meanwhile.
    BeginConnect();
    d->connector.join();
    takeConnectOutcome(true);
}

void TelnetClient::BeginConnect()
{
    checkConnectable();

    d->cancelConnect();
    d->dropEndedConnection();
    auto sock = std::make_shared<PlatformSocket>();

    const std::optional<std::uint32_t> literal = parseIpv4Literal(Host);
    d->pendingResolved = !literal;
    if (literal)
        d->status(TIdStatus::hsConnecting, QStringLiteral("Connecting to %1.").arg(ipv4Text(*literal)));
    else
        d->status(TIdStatus::hsResolving, QStringLiteral("Resolving hostname %1.").arg(Host));

    d->pendingSocket = sock;
    d->pendingAddress.reset();
    d->connectDone = false;
    d->connectError = nullptr;
    // The connect thread gets copies: the caller may change the properties
    // while it runs.
    auto work = [impl = d.get(), sock, literal, host = Host, port = Port, timeout = ConnectTimeout, resolver = Resolver,
                 done = OnConnectDone] {
        try {
            std::uint32_t address = 0;
            if (literal) {
                address = *literal;
            } else {
                const auto resolved = resolver ? resolver(host) : PlatformSocket::resolveIPv4(host);
                if (!resolved)
                    throw EIdSocketError(11001, "Host not found.");
                address = *resolved;
            }
            impl->pendingAddress = address;
            sock->connect(address, port, timeout);
        } catch (...) {
            impl->connectError = std::current_exception();
        }
        impl->connectDone = true;
        if (done)
            done();
    };
    try {
        d->connector = std::thread(std::move(work));
    } catch (const std::system_error&) {
        d->pendingSocket.reset();
        throw EIdTelnetClientConnectError();
    }
}

TelnetClient::ConnectProgress TelnetClient::CompleteConnect()
{
    if (!d->connector.joinable())
        return ConnectProgress::NotPending;
    if (!d->connectDone.load())
        return ConnectProgress::Running;
    d->connector.join();  // it has finished its work; only its return is left
    return takeConnectOutcome(false);
}

TelnetClient::ConnectProgress TelnetClient::takeConnectOutcome(bool waited)
{
    const std::shared_ptr<PlatformSocket> sock = std::move(d->pendingSocket);
    d->pendingSocket.reset();
    d->connectDone = false;
    if (d->connectError) {
        const std::exception_ptr error = std::exchange(d->connectError, nullptr);
        sock->close();
        if (!waited)
            return ConnectProgress::Failed;
        // A caller that waited sees what the connect got to, as it happened:
        // the address the name led to, then the failure itself.
        if (d->pendingResolved && d->pendingAddress)
            d->status(TIdStatus::hsConnecting, QStringLiteral("Connecting to %1.").arg(ipv4Text(*d->pendingAddress)));
        std::rethrow_exception(error);
    }

    d->socket = sock;
    d->opened = true;
    try {
        if (d->pendingResolved)
            d->status(TIdStatus::hsConnecting, QStringLiteral("Connecting to %1.").arg(ipv4Text(*d->pendingAddress)));
        d->status(TIdStatus::hsConnected, QStringLiteral("Connected."));
        if (OnConnected)
            OnConnected();
    } catch (...) {
        d->opened = false;
        d->socket->close();
        d->socket.reset();
        throw;
    }
    d->startReader();
    return ConnectProgress::Connected;
}

void TelnetClient::CancelConnect()
{
    d->cancelConnect();
}

bool TelnetClient::ConnectPending() const
{
    return d->connector.joinable();
}

void TelnetClient::Disconnect(bool ANotifyPeer)
{
    // Telnet has nothing to tell the peer before closing.
    Q_UNUSED(ANotifyPeer);

    if (!d->onReaderThread())
        d->cancelConnect();
    if (d->reader.joinable())
        d->stopRequested = true;

    // Whatever happens in the handlers, wait for the reader and let it go.
    const auto release = qScopeGuard([this] {
        if (d->onReaderThread())
            return;
        d->releaseReader();
        d->socket.reset();
    });

    // Exactly one side closes an open connection: this call or the reader
    // seeing the peer's end. A nested call from OnDisconnected finds it
    // closed and raises nothing.
    const std::shared_ptr<PlatformSocket> sock = d->socket;
    if (!sock || !d->opened.exchange(false))
        return;
    {
        const auto close = qScopeGuard([&sock] { sock->close(); });
        d->status(TIdStatus::hsDisconnecting, QStringLiteral("Disconnecting."));
    }
    if (OnDisconnected)
        OnDisconnected();
    d->status(TIdStatus::hsDisconnected, QStringLiteral("Disconnected."));
}

void TelnetClient::SendString(const QString& S)
{
    const std::shared_ptr<PlatformSocket>& sock = d->socket;
    if (!sock || !d->opened.load() || d->closedByPeer.load())
        return;
    QByteArray bytes;
    bytes.reserve(S.size() + 1);
    for (const QChar ch : S) {
        if (ch == u'\r' && !d->iamTelnet.load())
            bytes.append("\r\n", 2);
        else
            bytes.append(ch.unicode() > 127 ? '?' : char(ch.unicode()));
    }
    // The whole command in one send that never waits: a radio that stops
    // reading loses its link instead of freezing the sender.
    if (!bytes.isEmpty() && !sock->send(bytes))
        d->breakConnection();
}

void TelnetClient::AbortConnection()
{
    if (d->socket && d->opened.load())
        d->breakConnection();
}

qint64 TelnetClient::InputSilenceMs() const
{
    return Impl::nowMs() - d->lastInputMs.load();
}

bool TelnetClient::Connected() const
{
    return (d->opened.load() && !d->closedByPeer.load()) || d->inputPending.load();
}

bool TelnetClient::fIamTelnet() const
{
    return d->iamTelnet.load();
}

QString TelnetClient::BytesToString(const TIdBytes& buffer)
{
    QString text;
    text.reserve(buffer.size());
    for (const char c : buffer) {
        const auto b = static_cast<quint8>(c);
        text.append(b > 127 ? QChar(QChar::ReplacementCharacter) : QChar(b));
    }
    return text;
}
