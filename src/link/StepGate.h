#pragma once

#include <QObject>

#include <functional>
#include <vector>

// The rule that keeps the link from being cut under a running step. A poll
// tick and a receive step each hold a token while they run; steps nest inside
// each other's cooperative waits, so several can be running at once. A stop
// asked for while any step runs is carried out when the outermost one ends,
// never in the middle of a step: no LED flash or command resumes on a link
// that was closed under it.
//
// Lives on the user-interface thread, like the steps it guards. Widget-free.
class StepGate : public QObject {
    Q_OBJECT
public:
    enum class Step { PollTick, Receive };

    // Marks one step as running for as long as it lives. Moving passes the
    // mark on; end() (or the destructor) ends it once.
    class [[nodiscard]] Token {
    public:
        Token(Token&& other) noexcept;
        Token& operator=(Token&&) = delete;
        Token(const Token&) = delete;
        Token& operator=(const Token&) = delete;
        // A token that ends while an exception unwinds its step leaves the
        // follow-ups (a waiting stop, deferred calls) to the event loop, so
        // they never run inside the unwinding.
        ~Token();
        void end();

    private:
        friend class StepGate;
        Token(StepGate* gate, Step step);
        StepGate* m_gate = nullptr;
        Step m_step;
        int m_uncaught = 0;
    };

    explicit StepGate(QObject* parent = nullptr);

    Token begin(Step step);

    // A poll tick is running (possibly with receive steps nested in it).
    bool pollerActive() const { return m_ticks > 0; }
    // A receive step is running.
    bool receiving() const { return m_receives > 0; }
    // No step is half-way: a stop may cut the link now.
    bool allowStop() const { return m_ticks == 0 && m_receives == 0; }

    // Asks for a stop while a step runs: stopDue() is emitted when the
    // outermost step ends. Asking again changes nothing.
    void requestStop() { m_stopPending = true; }
    bool stopPending() const { return m_stopPending; }
    // The stop asked for is no longer wanted (or is being carried out now).
    void cancelStop() { m_stopPending = false; }

    // Runs call now when no receive step is running, or else as soon as the
    // outermost receive step ends, in the order asked. The calls must not throw.
    void afterReceives(std::function<void()> call);

signals:
    // A stop asked for during a step is due: no step runs any more. Emitted
    // once per request; the handler must not throw.
    void stopDue();

private:
    void finish(Step step, bool unwinding);
    void runFollowUps();

    int m_ticks = 0;
    int m_receives = 0;
    bool m_stopPending = false;
    std::vector<std::function<void()>> m_afterReceives;
};
