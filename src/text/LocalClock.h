#pragma once

#include <QDateTime>

#include <functional>

// The computer's local wall clock, to the millisecond. Tests replace the
// source to get fixed moments.
class LocalClock {
public:
    static QDateTime now();
    // An empty function restores the real clock.
    static void setSource(std::function<QDateTime()> source);
};
