#pragma once

#include <QObject>

#include <memory>

class QAbstractNativeEventFilter;
class QSocketNotifier;

// Tells the user-interface thread that the session is ending, so the program
// can close its capture file and end like a log-off: SIGTERM, SIGINT and
// SIGHUP on POSIX systems (SessionEndWatcherPosix.cpp), the WM_ENDSESSION of
// a log-off or shutdown that goes ahead on Windows (SessionEndWatcherWin.cpp).
// On Windows the signal is emitted while the message is handled, because the
// system may end the process as soon as the message returns.
class SessionEndWatcher : public QObject {
    Q_OBJECT
public:
    explicit SessionEndWatcher(QObject* parent = nullptr);
    ~SessionEndWatcher() override;

signals:
    void sessionEnding();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;               // POSIX
    std::unique_ptr<QAbstractNativeEventFilter> m_endSession;  // Windows
};
