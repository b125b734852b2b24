#include "LevelPointStore.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// Colours as the chart hands them over: 0xAARRGGBB, what QColor::rgba() gives.
constexpr quint32 kRed = 0xffff0000;
constexpr quint32 kBlue = 0xff0000ff;
constexpr quint32 kTranslucent = 0x04010203;  // alpha 4, red 1, green 2, blue 3

}  // namespace

class TestLevelPointStore : public QObject {
    Q_OBJECT
private slots:
    void labelsRoundTrip_data();
    void labelsRoundTrip();
    void minMaxIndexMatchesScan();
    void compactStorage();
};

void TestLevelPointStore::labelsRoundTrip_data()
{
    QTest::addColumn<QString>("label");
    QTest::newRow("time") << "14:02:10";
    QTest::newRow("midnight") << "00:00:00";
    QTest::newRow("last second") << "23:59:59";
    QTest::newRow("regional separator") << "14.02.10";
    QTest::newRow("hour 24 (not a clock time)") << "24:00:00";
    QTest::newRow("mixed separators") << "14:02.10";
    QTest::newRow("one-digit hour") << "1:02:03";
    QTest::newRow("trailing space") << "12:34:56 ";
    QTest::newRow("empty") << "";
    QTest::newRow("free text") << QString::fromUtf8("Zeit \xc3\xa4");
}

void TestLevelPointStore::labelsRoundTrip()
{
    QFETCH(QString, label);
    LevelPointStore store;
    // The same label twice and a neighbour of another kind: packing and the
    // string table must not mix them up.
    store.Append(1.0, label, kRed);
    store.Append(2.0, QStringLiteral("other"), kBlue);
    store.Append(3.0, label, kTranslucent);
    QCOMPARE(store.Count(), 3);
    QCOMPARE(store.Label(0), label);
    QCOMPARE(store.Label(1), QStringLiteral("other"));
    QCOMPARE(store.Label(2), label);
    QCOMPARE(store.Y(2), 3.0);
    QCOMPARE(store.Colour(0), kRed);
    QCOMPARE(store.Colour(2), kTranslucent);
    QVERIFY(!store.SingleColour());
}

void TestLevelPointStore::minMaxIndexMatchesScan()
{
    // Few distinct values make ties common; the earliest index must win.
    LevelPointStore store;
    QRandomGenerator rng(42);
    const qsizetype n = 70000;  // beyond 16^4 so four tree levels take part
    for (qsizetype i = 0; i < n; ++i)
        store.Append(static_cast<double>(rng.bounded(7)), QString(), kRed);
    QCOMPARE(store.MinY(), 0.0);
    QCOMPARE(store.MaxY(), 6.0);
    for (int trial = 0; trial < 400; ++trial) {
        qsizetype a = rng.bounded(static_cast<int>(n));
        qsizetype b = rng.bounded(static_cast<int>(n));
        if (trial % 4 == 0)
            b = a + rng.bounded(40);  // short ranges stay inside one block
        b = std::min(b, n - 1);
        if (a > b)
            std::swap(a, b);
        qsizetype lo = a, hi = a;
        for (qsizetype i = a; i <= b; ++i) {
            if (store.Y(i) < store.Y(lo))
                lo = i;
            if (store.Y(i) > store.Y(hi))
                hi = i;
        }
        const auto [minIndex, maxIndex] = store.MinMaxIndex(a, b + 1);
        QCOMPARE(minIndex, lo);
        QCOMPARE(maxIndex, hi);
    }
}

void TestLevelPointStore::compactStorage()
{
    LevelPointStore store;
    const qsizetype n = 200000;
    for (qsizetype i = 0; i < n; ++i) {
        const int s = static_cast<int>(i * 2 % 86400);
        const QString label = QStringLiteral("%1:%2:%3")
                                  .arg(s / 3600, 2, 10, QLatin1Char('0'))
                                  .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                                  .arg(s % 60, 2, 10, QLatin1Char('0'));
        store.Append(100.0 + static_cast<double>(i % 30), label, kRed);
    }
    QVERIFY(store.SingleColour());
    QCOMPARE(store.Label(n - 1), QStringLiteral("15:06:38"));
    QVERIFY2(static_cast<double>(store.MemoryBytes()) / n <= 48.0,
             qPrintable(QString::number(static_cast<double>(store.MemoryBytes()) / n)));
}

QTEST_GUILESS_MAIN(TestLevelPointStore)
#include "TestLevelPointStore.moc"
