#include "LocalClock.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

// The replacement is swapped by tests while the clock may be read elsewhere,
// so both go through one lock.
QMutex& sourceLock()
{
    static QMutex lock;
    return lock;
}

std::function<QDateTime()>& source()
{
    static std::function<QDateTime()> current;
    return current;
}

} // namespace

QDateTime LocalClock::now()
{
    std::function<QDateTime()> replacement;
    {
        QMutexLocker locker(&sourceLock());
        replacement = source();
    }
    // Called outside the lock so a replacement may itself read the clock.
    if (replacement)
        return replacement();
    return QDateTime::currentDateTime();
}

void LocalClock::setSource(std::function<QDateTime()> replacement)
{
    QMutexLocker locker(&sourceLock());
    source() = std::move(replacement);
}
