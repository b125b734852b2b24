#include "LocalClock.h"

#include <QTest>

class TestLocalClock : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { LocalClock::setSource({}); }
    void replacedSourceGivesItsMoment();
    void emptySourceRestoresTheRealClock();
};

void TestLocalClock::replacedSourceGivesItsMoment()
{
    const QDateTime fixed(QDate(2024, 3, 7), QTime(14, 5, 9, 250));
    LocalClock::setSource([fixed] { return fixed; });
    QCOMPARE(LocalClock::now(), fixed);
}

void TestLocalClock::emptySourceRestoresTheRealClock()
{
    LocalClock::setSource([] { return QDateTime(QDate(1999, 1, 1), QTime(0, 0)); });
    LocalClock::setSource({});

    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime now = LocalClock::now();
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(before <= now && now <= after);
    QCOMPARE(now.timeSpec(), Qt::LocalTime);
}

QTEST_GUILESS_MAIN(TestLocalClock)
#include "TestLocalClock.moc"
