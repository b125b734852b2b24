#include "KeepAwake.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <unistd.h>

namespace {

// logind's inhibitor: a lock held for as long as its file descriptor is open.
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kInterface = QStringLiteral("org.freedesktop.login1.Manager");

}  // namespace

struct KeepAwake::Platform {
    bool wanted = false;
    int lock = -1;  // the inhibitor lock's descriptor; closing it releases the lock
    // The request on its way; its answer is kept or let go by what is wanted then.
    QDBusPendingCallWatcher* pending = nullptr;

    void release()
    {
        if (lock >= 0)
            ::close(lock);
        lock = -1;
    }
};

KeepAwake::KeepAwake(QObject* parent) : QObject(parent), m_platform(std::make_unique<Platform>()) {}

KeepAwake::~KeepAwake()
{
    m_platform->release();
    delete m_platform->pending;  // its answer is of no use any more
}

void KeepAwake::setHeld(bool held)
{
    Platform& p = *m_platform;
    if (held == p.wanted)
        return;
    p.wanted = held;
    if (!held) {
        p.release();
        return;
    }
    if (p.pending || p.lock >= 0)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;  // no system bus: nothing keeps the computer awake
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QStringLiteral("Quorvel")
         << QStringLiteral("Polling the radio's S-meter for a capture") << QStringLiteral("block");
    // Asked without waiting: a bus that is slow to answer must not hold up
    // Start Poller.
    p.pending = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(p.pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* watcher) {
        Platform& p = *m_platform;
        p.pending = nullptr;
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
        // No logind, or it refused: the program goes on without the lock.
        if (reply.isValid() && reply.value().isValid() && p.lock < 0) {
            p.lock = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
            if (!p.wanted)
                p.release();  // let go of while the answer was on its way
        }
        // The reply's own copy of the descriptor goes with it.
        watcher->deleteLater();
    });
}
