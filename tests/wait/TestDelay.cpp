#include "Delay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <atomic>

namespace {

// A tick counter that moves only when told: by the waits of delay() (exactly
// the time each pass asks for) and by handlers that pretend to take a while.
// Installed for the life of the object.
struct FakeTicks {
    std::uint32_t now;
    TickSource::Override installed;
    explicit FakeTicks(std::uint32_t start)
        : now(start),
          installed([this] { return now; }, [this](std::int64_t ms) { now += static_cast<std::uint32_t>(ms); })
    {
    }
    FakeTicks(const FakeTicks&) = delete;
    FakeTicks& operator=(const FakeTicks&) = delete;
};

}  // namespace

class TestDelay : public QObject {
    Q_OBJECT
private slots:
    void runsPendingEventsAtLeastOnce_data();
    void runsPendingEventsAtLeastOnce();
    void waitsAtLeastTheTime();
    void waitAcrossCounterWrap();
    void slowHandlerDoesNotStretchTheWait_data();
    void slowHandlerDoesNotStretchTheWait();
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
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
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

void TestDelay::slowHandlerDoesNotStretchTheWait_data()
{
    QTest::addColumn<std::uint32_t>("start");
    QTest::addColumn<int>("wait");
    QTest::addColumn<int>("handler");
    QTest::addColumn<int>("expected");
    // The wait ends one pass (1 ms) after its time, or one pass after the
    // handler when the handler alone outlasts it.
    QTest::newRow("nothing queued") << 1000u << 100 << 0 << 101;
    QTest::newRow("50 ms handler") << 1000u << 100 << 50 << 101;
    QTest::newRow("99 ms handler") << 1000u << 100 << 99 << 101;
    QTest::newRow("handler longer than wait") << 1000u << 100 << 150 << 152;
    QTest::newRow("across the wrap") << 0xFFFFFFFFu - 20u << 60 << 30 << 61;
    QTest::newRow("delay(0)") << 1000u << 0 << 0 << 1;
    QTest::newRow("delay(-5) with handler") << 1000u << -5 << 20 << 21;
}

void TestDelay::slowHandlerDoesNotStretchTheWait()
{
    QFETCH(std::uint32_t, start);
    QFETCH(int, wait);
    QFETCH(int, handler);
    QFETCH(int, expected);
    FakeTicks ticks(start);
    int runs = 0;
    if (handler > 0) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [&] {
                ++runs;
                ticks.now += static_cast<std::uint32_t>(handler);
            },
            Qt::QueuedConnection);
    }
    delay(wait);
    QCOMPARE(runs, handler > 0 ? 1 : 0);
    QCOMPARE(static_cast<std::uint32_t>(ticks.now - start), static_cast<std::uint32_t>(expected));
}

QTEST_GUILESS_MAIN(TestDelay)
#include "TestDelay.moc"
