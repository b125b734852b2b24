#pragma once

#include <QDateTime>

#include <functional>

// The computer's local wall clock, to the millisecond.
class LocalClock {
public:
    static QDateTime now();

    // Replaces the clock for as long as it lives, so tests get fixed moments;
    // the clock it replaced comes back when it goes.
    class Override {
    public:
        explicit Override(std::function<QDateTime()> source);
        ~Override();
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

    private:
        std::function<QDateTime()> m_previous;
    };

private:
    // Installs source (empty: the real clock) and returns the one it replaced.
    static std::function<QDateTime()> exchangeSource(std::function<QDateTime()> source);
};
