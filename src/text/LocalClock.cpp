#include "LocalClock.h"

#include <QMutex>
#include <QMutexLocker>

#include <utility>

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

}  // namespace

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

std::function<QDateTime()> LocalClock::exchangeSource(std::function<QDateTime()> replacement)
{
    QMutexLocker locker(&sourceLock());
    return std::exchange(source(), std::move(replacement));
}

LocalClock::Override::Override(std::function<QDateTime()> source) : m_previous(exchangeSource(std::move(source))) {}

LocalClock::Override::~Override()
{
    exchangeSource(std::move(m_previous));
}
