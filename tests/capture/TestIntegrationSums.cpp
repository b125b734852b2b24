#include "IntegrationSums.h"
#include "NumberText.h"
#include "ProgramErrors.h"

#include <QTest>

// The averaging of a period's readings and the level its mean stands for.
class TestIntegrationSums : public QObject {
    Q_OBJECT
private slots:
    void levelFromMean_data();
    void levelFromMean();
    void readingsAverage();
    void clearingKeepsTheMean();
    void absurdLevelDropsThePeriod();
};

void TestIntegrationSums::levelFromMean_data()
{
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("point");
    QTest::addColumn<qint64>("level");

    // Above 115 the level counts down from 274, below 30 from 17; every
    // level carries the same sign. The plotted point is exact, the recorded
    // level rounded with halves to the even neighbour.
    const struct {
        double mean;
        double point;
        qint64 level;
    } rows[] = {{150.4, 123.6, 124}, {180, 94, 94},  {152.5, 121.5, 122}, {151.5, 122.5, 122}, {115, -115, -115},
                {100, -100, -100},   {30, -30, -30}, {29.5, -12.5, -12},  {20, -3, -3},        {115.2, 158.8, 159}};
    for (const auto& r : rows)
        QTest::addRow("%g", r.mean) << r.mean << r.point << r.level;
}

void TestIntegrationSums::levelFromMean()
{
    QFETCH(double, mean);
    QFETCH(double, point);
    QFETCH(qint64, level);
    IntegrationSums sums;
    sums.Average = mean;
    sums.AverageCount = 4;
    const double got = sums.PeriodLevel();
    QCOMPARE(got, point);
    QCOMPARE(RoundHalfEven(got), level);
    QCOMPARE(sums.AverageCount, 4.0);  // a good period is cleared by whoever recorded it
}

void TestIntegrationSums::readingsAverage()
{
    IntegrationSums sums;
    sums.AddReading(QStringLiteral("150"));
    sums.AddReading(QStringLiteral("153"));
    QCOMPARE(sums.AverageCount, 2.0);
    QCOMPARE(sums.AverageRunningTotal, 303.0);
    QCOMPARE(sums.Average, 151.5);
}

void TestIntegrationSums::clearingKeepsTheMean()
{
    IntegrationSums sums;
    sums.AddReading(QStringLiteral("150"));
    sums.ClearSums();
    QCOMPARE(sums.AverageCount, 0.0);
    QCOMPARE(sums.AverageRunningTotal, 0.0);
    QCOMPARE(sums.Average, 150.0);
}

void TestIntegrationSums::absurdLevelDropsThePeriod()
{
    IntegrationSums sums;
    sums.Average = 1e19;
    sums.AverageCount = 1;
    sums.AverageRunningTotal = 1e19;
    QVERIFY_THROWS_EXCEPTION(EConvertError, sums.PeriodLevel());
    QCOMPARE(sums.AverageCount, 0.0);
    QCOMPARE(sums.AverageRunningTotal, 0.0);
}

QTEST_GUILESS_MAIN(TestIntegrationSums)
#include "TestIntegrationSums.moc"
