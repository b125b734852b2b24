#include "Delay.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <chrono>
#include <utility>

namespace {

std::function<std::uint32_t()>& tickSource()
{
    static std::function<std::uint32_t()> source;
    return source;
}

std::uint32_t realTicks()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    // Unsigned arithmetic: the counter wraps exactly like the system's 32-bit one.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

} // namespace

std::uint32_t TickSource::GetTickCount()
{
    const auto& source = tickSource();
    return source ? source() : realTicks();
}

std::function<std::uint32_t()> TickSource::exchangeSource(std::function<std::uint32_t()> source)
{
    return std::exchange(tickSource(), std::move(source));
}

TickSource::Override::Override(std::function<std::uint32_t()> source) : m_previous(exchangeSource(std::move(source)))
{
}

TickSource::Override::~Override()
{
    exchangeSource(std::move(m_previous));
}

namespace {

// Sleeps until an event arrives for this thread or `milliseconds` pass. Waking
// only for events, instead of every millisecond, keeps a waiting handler's
// processor time near zero while queued events still run as soon as they come.
void waitForEvents(std::int64_t milliseconds)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app->thread() != QThread::currentThread() || milliseconds <= 1) {
        QThread::msleep(1);
        return;
    }
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(static_cast<int>(std::min<std::int64_t>(milliseconds, 60000)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace

void delay(std::int32_t dwMilliseconds)
{
    const std::uint32_t iStart = TickSource::GetTickCount();
    for (;;) {
        const std::uint32_t iStop = TickSource::GetTickCount();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        // Modulo 2^32, so a wait across the counter's wrap ends on time.
        const std::uint32_t elapsed = iStop - iStart;
        const std::int64_t remaining = std::int64_t(dwMilliseconds) - std::int64_t(elapsed);
        waitForEvents(remaining);
        if (remaining <= 0)
            break;
    }
}
