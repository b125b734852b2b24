#include "LocalClock.h"

#include <QTest>

class TestLocalClock : public QObject {
    Q_OBJECT

private slots:
    void replacedSourceGivesItsMoment();
    void realClockReturnsWithTheScope();
};

void TestLocalClock::replacedSourceGivesItsMoment()
{
    const QDateTime fixed(QDate(2024, 3, 7), QTime(14, 5, 9, 250));
    const LocalClock::Override clock([fixed] { return fixed; });
    QCOMPARE(LocalClock::now(), fixed);
}

void TestLocalClock::realClockReturnsWithTheScope()
{
    const QDateTime earlier(QDate(1999, 1, 1), QTime(0, 0));
    {
        const LocalClock::Override outer([earlier] { return earlier; });
        {
            const LocalClock::Override inner([] { return QDateTime(QDate(2001, 1, 1), QTime(0, 0)); });
        }
        QCOMPARE(LocalClock::now(), earlier);  // the inner one gave back the outer one
    }

    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime now = LocalClock::now();
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(before <= now && now <= after);
    QCOMPARE(now.timeSpec(), Qt::LocalTime);
}

QTEST_GUILESS_MAIN(TestLocalClock)
#include "TestLocalClock.moc"
