#include "ReconnectScheduler.h"

#include "RadioLink.h"

#include <algorithm>

using namespace std::chrono_literals;

ReconnectScheduler::Pauses ReconnectScheduler::defaultPauses()
{
    return {5s, 10s, 20s, 40s, 60s};
}

std::chrono::milliseconds ReconnectScheduler::pauseBefore(const Pauses& pauses, int attempt)
{
    if (pauses.empty())
        return 0ms;
    const auto last = static_cast<int>(pauses.size()) - 1;
    return pauses[std::size_t(std::clamp(attempt, 0, last))];
}

ReconnectScheduler::ReconnectScheduler(RadioLink& link, QObject* parent)
    : QObject(parent), m_link(link), m_pauses(defaultPauses())
{
    m_timer.setSingleShot(true);
    // A coarse timer may fire a twentieth early; the pauses are minimums.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReconnectScheduler::tryNow);
    // A connect that ends after a cancel, or one this object did not begin,
    // finds nothing of its own pending and does nothing.
    connect(&m_link, &RadioLink::connectDone, this, &ReconnectScheduler::connectFinished);
}

ReconnectScheduler::~ReconnectScheduler()
{
    // No connect of ours may outlive this object.
    cancel();
}

void ReconnectScheduler::setPauses(Pauses pauses)
{
    m_pauses = std::move(pauses);
}

void ReconnectScheduler::linkLost()
{
    if (m_state != State::Idle)
        return;
    m_failedInRow = 0;
    waitForNextTry();
}

void ReconnectScheduler::cancel()
{
    m_timer.stop();
    if (m_state == State::Connecting)
        m_link.CancelConnect();
    m_state = State::Idle;
    m_failedInRow = 0;
}

void ReconnectScheduler::waitForNextTry()
{
    m_state = State::Waiting;
    m_timer.start(pauseBefore(m_pauses, m_failedInRow));
}

void ReconnectScheduler::tryNow()
{
    if (m_state != State::Waiting)
        return;
    if (m_link.Connected()) {
        // Someone else connected meanwhile (the user's own Start Poller).
        m_state = State::Idle;
        return;
    }
    m_state = State::Connecting;
    ++m_attempts;
    emit attemptStarted();
    try {
        m_link.BeginConnect();
    } catch (...) {
        // Not even begun (no socket to be had): counts as a failed try.
        m_state = State::Waiting;
        ++m_failedInRow;
        emit attemptFailed();
        if (m_state == State::Waiting)
            waitForNextTry();
    }
}

void ReconnectScheduler::connectFinished()
{
    if (m_state != State::Connecting)
        return;
    TelnetClient::ConnectProgress progress = TelnetClient::ConnectProgress::Failed;
    try {
        progress = m_link.CompleteConnect();
    } catch (...) {
        // A connected event failed; the link closed the new connection again.
    }
    switch (progress) {
    case TelnetClient::ConnectProgress::Running:
    case TelnetClient::ConnectProgress::NotPending: return;  // a late post of an earlier, cancelled try
    case TelnetClient::ConnectProgress::Connected:
        m_state = State::Idle;
        m_failedInRow = 0;
        emit reconnected();
        return;
    case TelnetClient::ConnectProgress::Failed: break;
    }
    m_state = State::Waiting;
    ++m_failedInRow;
    emit attemptFailed();
    // A handler of attemptFailed may have cancelled.
    if (m_state == State::Waiting)
        waitForNextTry();
}
