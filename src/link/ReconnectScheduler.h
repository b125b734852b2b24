#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <vector>

class RadioLink;

// Brings a lost link back while polling is wanted: after a loss it waits a
// pause, connects again in the background (the caller's thread never waits
// for the network), and after each failed try waits a longer pause, up to
// the last one of the schedule, which then repeats. The link keeps the host
// and port of its last connect, so every try goes to the same radio.
//
// Lives on the link's thread and listens to the link's connectDone().
class ReconnectScheduler : public QObject {
    Q_OBJECT
public:
    using Pauses = std::vector<std::chrono::milliseconds>;

    // 5 s after the loss, then 10, 20, 40, and 60 s from there on.
    static Pauses defaultPauses();
    // The pause before try number `attempt` (0 for the first after a loss).
    static std::chrono::milliseconds pauseBefore(const Pauses& pauses, int attempt);

    explicit ReconnectScheduler(RadioLink& link, QObject* parent = nullptr);
    ~ReconnectScheduler() override;  // cancels

    // Tests run the same rule on a shorter clock.
    void setPauses(Pauses pauses);
    const Pauses& pauses() const { return m_pauses; }

    // The link was lost without being asked to close: start trying, unless
    // tries are already under way.
    void linkLost();
    // Stops trying: no timer left and no connect under way when it returns,
    // and nothing connects afterwards. The next loss starts at the first pause.
    void cancel();

    bool active() const { return m_state != State::Idle; }
    bool connecting() const { return m_state == State::Connecting; }
    int attemptsMade() const { return m_attempts; }  // since construction

signals:
    void attemptStarted();
    void attemptFailed();
    // The link is connected again; its connected events have run.
    void reconnected();

private:
    enum class State { Idle, Waiting, Connecting };

    void waitForNextTry();
    void tryNow();
    void connectFinished();

    RadioLink& m_link;
    QTimer m_timer;
    Pauses m_pauses;
    State m_state = State::Idle;
    int m_failedInRow = 0;
    int m_attempts = 0;
};
