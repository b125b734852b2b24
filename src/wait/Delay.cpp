#include "Delay.h"

#include "SystemTicks.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <utility>

namespace {

std::function<std::uint32_t()>& tickSource()
{
    static std::function<std::uint32_t()> source;
    return source;
}

TickSource::Waiter& waiter()
{
    static TickSource::Waiter w;
    return w;
}

}  // namespace

std::uint32_t TickSource::GetTickCount()
{
    const auto& source = tickSource();
    return source ? source() : SystemTickCount();
}

std::function<std::uint32_t()> TickSource::exchangeSource(std::function<std::uint32_t()> source)
{
    return std::exchange(tickSource(), std::move(source));
}

TickSource::Waiter TickSource::exchangeWaiter(Waiter w)
{
    return std::exchange(waiter(), std::move(w));
}

TickSource::Override::Override(std::function<std::uint32_t()> source, Waiter w)
    : m_previous(exchangeSource(std::move(source))), m_previousWaiter(exchangeWaiter(std::move(w)))
{
}

TickSource::Override::~Override()
{
    exchangeSource(std::move(m_previous));
    exchangeWaiter(std::move(m_previousWaiter));
}

namespace {

// Sleeps until an event arrives for this thread or `milliseconds` pass. Waking
// only for events, instead of every millisecond, keeps a waiting handler's
// processor time near zero while queued events still run as soon as they come.
void waitForEvents(std::int64_t milliseconds)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app->thread() != QThread::currentThread() || milliseconds <= 1) {
        SystemSleep(1);
        return;
    }
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(static_cast<int>(std::min<std::int64_t>(milliseconds, 60000)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void waitPass(std::int64_t milliseconds)
{
    const std::int64_t ms = std::max<std::int64_t>(milliseconds, 1);
    if (const auto& w = waiter())
        w(ms);
    else
        waitForEvents(ms);
}

// Milliseconds left of the wait at counter value `now`. Modulo 2^32, so a
// wait across the counter's wrap ends on time.
std::int64_t remainingAt(std::uint32_t iStart, std::uint32_t now, std::int32_t dwMilliseconds)
{
    const std::uint32_t elapsed = now - iStart;
    return std::int64_t(dwMilliseconds) - std::int64_t(elapsed);
}

}  // namespace

void delay(std::int32_t dwMilliseconds)
{
    const std::uint32_t iStart = TickSource::GetTickCount();
    for (;;) {
        const std::uint32_t iStop = TickSource::GetTickCount();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (remainingAt(iStart, iStop, dwMilliseconds) <= 0) {
            waitPass(1);
            break;
        }
        // The events just run may have taken a while: what is left is
        // measured now, so the wait ends at most one pass late.
        waitPass(remainingAt(iStart, TickSource::GetTickCount(), dwMilliseconds));
    }
}
