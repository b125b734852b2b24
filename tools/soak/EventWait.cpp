#include "EventWait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace EventWait {

void spinFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeoutMs)
            return done();
        spinFor(10);
    }
    return true;
}

}  // namespace EventWait
