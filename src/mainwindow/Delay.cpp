#include "Delay.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>

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

void TickSource::setSource(std::function<std::uint32_t()> source)
{
    tickSource() = std::move(source);
}

void delay(std::int32_t dwMilliseconds)
{
    const std::uint32_t iStart = TickSource::GetTickCount();
    for (;;) {
        const std::uint32_t iStop = TickSource::GetTickCount();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
        // Modulo 2^32, so a wait across the counter's wrap ends on time.
        const std::uint32_t elapsed = iStop - iStart;
        if (static_cast<std::int64_t>(elapsed) >= static_cast<std::int64_t>(dwMilliseconds))
            break;
    }
}
