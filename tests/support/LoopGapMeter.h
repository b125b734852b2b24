#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

// The longest time the event loop went without running a 10 ms timer: how
// long the window would have stood frozen.
class LoopGapMeter {
public:
    LoopGapMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_since.restart()); });
        m_since.start();
        m_timer.start();
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};
