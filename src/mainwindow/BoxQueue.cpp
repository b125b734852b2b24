#include "BoxQueue.h"

#include <QScopeGuard>

void BoxQueue::post(Open open)
{
    m_waiting.append(std::move(open));
    pump();
}

void BoxQueue::pump()
{
    // A box answered at once (a recorder in tests) calls back from inside
    // open(): the loop, not a recursion, shows the next one.
    if (m_pumping)
        return;
    m_pumping = true;
    const auto done = qScopeGuard([this] { m_pumping = false; });
    while (!m_open && !m_waiting.isEmpty()) {
        m_open = true;
        const Open open = m_waiting.takeFirst();
        try {
            open([this] {
                m_open = false;
                pump();
            });
        } catch (...) {
            m_open = false;  // a box that could not be shown holds up no other
            throw;
        }
    }
}
