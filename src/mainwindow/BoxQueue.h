#pragma once

#include <QList>

#include <functional>

// Shows the program's boxes one at a time: a box asked for while another is
// open waits until that one has been answered. The boxes themselves run no
// event loop, so the callers (timer ticks among them) go on at once.
class BoxQueue {
public:
    // Opens the box and calls the given answered() once it has been dismissed
    // (at once or later).
    using Open = std::function<void(std::function<void()> answered)>;

    void post(Open open);
    bool isOpen() const { return m_open; }
    qsizetype waiting() const { return m_waiting.size(); }

private:
    void pump();

    QList<Open> m_waiting;
    bool m_open = false;
    bool m_pumping = false;
};
