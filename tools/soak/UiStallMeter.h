#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

// Measures how long the user-interface thread goes without handling events:
// a 5 ms timer on that thread notes the largest gap between two of its
// ticks. A gap in which a connect started is kept apart, because the connect
// blocks the thread by design (up to its 2000 ms time limit).
class UiStallMeter {
public:
    static constexpr int kTickMs = 5;

    UiStallMeter();

    // Call just before an action that connects the link (the Start Poller click).
    void markConnectStart() { m_connectPending = true; }
    // Names what the soak is doing, so the longest gap can be attributed.
    void setActivity(const QString& activity) { m_activity = activity; }
    QString activity() const { return m_activity; }

    // Starts a new measuring window (one per phase); the figures below cover it.
    void resetWindow();
    double longestGapMs() const { return m_longest; }
    QString longestGapActivity() const { return m_longestActivity; }
    double longestConnectGapMs() const { return m_longestConnect; }
    qint64 ticks() const { return m_ticks; }

private:
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    bool m_connectPending = false;
    double m_longest = 0;
    double m_longestConnect = 0;
    qint64 m_ticks = 0;
    QString m_activity;
    QString m_longestActivity;
};
