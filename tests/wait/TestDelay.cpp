#include "Delay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <atomic>

class TestDelay : public QObject {
    Q_OBJECT
private slots:
    void runsPendingEventsAtLeastOnce_data();
    void runsPendingEventsAtLeastOnce();
    void waitsAtLeastTheTime();
    void waitAcrossCounterWrap();
};

void TestDelay::runsPendingEventsAtLeastOnce_data()
{
    QTest::addColumn<int>("ms");
    QTest::newRow("0") << 0;
    QTest::newRow("-5") << -5;
}

void TestDelay::runsPendingEventsAtLeastOnce()
{
    QFETCH(int, ms);
    bool ran = false;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
    delay(ms);
    QVERIFY(ran);
}

void TestDelay::waitsAtLeastTheTime()
{
    QElapsedTimer t;
    t.start();
    delay(100);
    QVERIFY(t.elapsed() >= 99);
}

void TestDelay::waitAcrossCounterWrap()
{
    // A counter that starts 20 ms before its wrap: the wait must end after
    // the requested time, not early and not 49.7 days later.
    QElapsedTimer real;
    real.start();
    const std::uint32_t base = 0xFFFFFFFFu - 20u;
    const TickSource::Override wrapping([&] { return base + static_cast<std::uint32_t>(real.elapsed()); });
    QElapsedTimer t;
    t.start();
    delay(60);
    QVERIFY(t.elapsed() >= 59);
    QVERIFY(t.elapsed() < 5000);
}

QTEST_GUILESS_MAIN(TestDelay)
#include "TestDelay.moc"
