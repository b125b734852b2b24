#include "UiStallMeter.h"

#include <algorithm>

UiStallMeter::UiStallMeter()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTickMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { tick(); });
    m_clock.start();
    m_lastNs = m_clock.nsecsElapsed();
    m_timer.start();
}

void UiStallMeter::resetWindow()
{
    m_longest = 0;
    m_longestConnect = 0;
    m_ticks = 0;
    m_longestActivity.clear();
}

void UiStallMeter::tick()
{
    const qint64 now = m_clock.nsecsElapsed();
    const double gapMs = double(now - m_lastNs) / 1e6;
    m_lastNs = now;
    ++m_ticks;
    if (m_connectPending) {
        m_connectPending = false;
        m_longestConnect = std::max(m_longestConnect, gapMs);
        return;
    }
    if (gapMs > m_longest) {
        m_longest = gapMs;
        m_longestActivity = m_activity;
    }
}
