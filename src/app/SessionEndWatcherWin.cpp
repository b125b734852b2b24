#include "SessionEndWatcher.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <windows.h>

#include <functional>

namespace {

// Watches the messages of every top-level window for the end of the session.
// WM_QUERYENDSESSION only asks (the application's commit-data request answers
// it); WM_ENDSESSION with a nonzero wParam says the session really ends.
// Every top-level window, the hidden ones of the toolkit included, receives
// it, but the session ends only once.
class EndSessionFilter final : public QAbstractNativeEventFilter {
public:
    explicit EndSessionFilter(std::function<void()> onEnd) : m_onEnd(std::move(onEnd)) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_ENDSESSION && msg->wParam != 0 && !m_ended) {
            m_ended = true;
            m_onEnd();
        }
        return false;  // the toolkit's own handling goes on
    }

private:
    std::function<void()> m_onEnd;
    bool m_ended = false;
};

}  // namespace

SessionEndWatcher::SessionEndWatcher(QObject* parent) : QObject(parent)
{
    auto filter = std::make_unique<EndSessionFilter>([this] { emit sessionEnding(); });
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installNativeEventFilter(filter.get());
    m_endSession = std::move(filter);
}

SessionEndWatcher::~SessionEndWatcher()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(m_endSession.get());
}
