#include "RadioLink.h"

#include <QThread>

#include <algorithm>

RadioLink::RadioLink(QObject* parent) : QObject(parent), m_client(std::make_unique<TelnetClient>())
{
    TelnetClient& c = *m_client;
    c.Port = 9200;
    c.Terminal = QStringLiteral("dumb");
    c.ThreadedEvent = true;
    c.OnStatus = [this](void*, TIdStatus kind, const QString& text) {
        if (QThread::currentThread() == thread()) {
            emit status(kind, text);
            return;
        }
        // The reader thread only posts: it never waits for this thread, which
        // may itself be waiting for the reader to end.
        QMetaObject::invokeMethod(
            this, [this, kind, text] { emit statusFromRadio(kind, text); }, Qt::QueuedConnection);
    };
    c.OnConnected = [this] { emit connected(); };
    c.OnDisconnected = [this] { emit disconnected(); };
    c.OnDataAvailable = [this](const TIdBytes& buffer) {
        const quint64 tag = m_tag.load();
        QMetaObject::invokeMethod(
            this, [this, buffer, tag] { deliver(buffer, tag); }, Qt::QueuedConnection);
    };
    // On the connect thread: a post, never a wait. A post that arrives after
    // a cancel finds nothing pending; whoever completes the connect sees that.
    c.OnConnectDone = [this] { QMetaObject::invokeMethod(this, &RadioLink::connectDone, Qt::QueuedConnection); };

    connect(&m_silenceCheck, &QTimer::timeout, this, &RadioLink::checkSilence);
    setSilenceLimit(kSilenceLimit);
}

RadioLink::~RadioLink()
{
    // The closing link's own events would reach an owner that is going away.
    // The client ends its reader and connect threads before it is gone, so
    // nothing posts to this object afterwards; what was posted is dropped.
    blockSignals(true);
    m_client.reset();
}

void RadioLink::newConnection()
{
    ++m_tag;
    m_framer.clear();
}

void RadioLink::Connect()
{
    newConnection();
    m_client->Connect();
}

void RadioLink::BeginConnect()
{
    newConnection();
    m_client->BeginConnect();
}

TelnetClient::ConnectProgress RadioLink::CompleteConnect()
{
    return m_client->CompleteConnect();
}

void RadioLink::CancelConnect()
{
    m_client->CancelConnect();
}

bool RadioLink::ConnectPending() const
{
    return m_client->ConnectPending();
}

void RadioLink::Disconnect()
{
    m_client->Disconnect();
    // The reader thread has ended: every chunk still queued is from the closed link.
    ++m_tag;
}

void RadioLink::SendString(const QString& text)
{
    m_client->SendString(text);
}

bool RadioLink::Connected() const
{
    return m_client->Connected();
}

void RadioLink::watchSilence(bool on)
{
    if (!on)
        m_silenceCheck.stop();
    else if (!m_silenceCheck.isActive())
        m_silenceCheck.start();
}

void RadioLink::setSilenceLimit(std::chrono::milliseconds limit)
{
    m_silenceLimit = limit;
    // Checked a few times within the limit, so a dead link is noticed soon after it.
    m_silenceCheck.setInterval(std::clamp(limit / 4, std::chrono::milliseconds(10), std::chrono::milliseconds(1000)));
}

void RadioLink::checkSilence()
{
    if (m_client->Connected() && m_client->InputSilenceMs() >= m_silenceLimit.count())
        m_client->AbortConnection();
}

void RadioLink::deliver(const TIdBytes& buffer, quint64 tag)
{
    if (tag != m_tag.load())
        return;
    const QStringList replies = m_framer.feed(TelnetClient::BytesToString(buffer));
    emit dataAvailable(buffer, replies);
}
