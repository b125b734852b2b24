#include "StepGate.h"

#include <exception>
#include <utility>

StepGate::Token::Token(StepGate* gate, Step step) : m_gate(gate), m_step(step), m_uncaught(std::uncaught_exceptions())
{
}

StepGate::Token::Token(Token&& other) noexcept
    : m_gate(std::exchange(other.m_gate, nullptr)), m_step(other.m_step), m_uncaught(other.m_uncaught)
{
}

StepGate::Token::~Token()
{
    if (m_gate)
        std::exchange(m_gate, nullptr)->finish(m_step, std::uncaught_exceptions() > m_uncaught);
}

void StepGate::Token::end()
{
    if (m_gate)
        std::exchange(m_gate, nullptr)->finish(m_step, false);
}

StepGate::StepGate(QObject* parent) : QObject(parent) {}

StepGate::Token StepGate::begin(Step step)
{
    if (step == Step::PollTick)
        ++m_ticks;
    else
        ++m_receives;
    return Token(this, step);
}

void StepGate::afterReceives(std::function<void()> call)
{
    if (m_receives == 0)
        call();
    else
        m_afterReceives.push_back(std::move(call));
}

void StepGate::finish(Step step, bool unwinding)
{
    if (step == Step::PollTick)
        --m_ticks;
    else
        --m_receives;
    if (unwinding)
        QMetaObject::invokeMethod(this, &StepGate::runFollowUps, Qt::QueuedConnection);
    else
        runFollowUps();
}

void StepGate::runFollowUps()
{
    // A deferred call may start a step of its own; whatever it leaves is run
    // by that step's end.
    while (m_receives == 0 && !m_afterReceives.empty()) {
        auto call = std::move(m_afterReceives.front());
        m_afterReceives.erase(m_afterReceives.begin());
        call();
    }
    if (allowStop() && m_stopPending) {
        m_stopPending = false;
        emit stopDue();
    }
}
