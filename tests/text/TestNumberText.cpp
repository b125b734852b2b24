#include "NumberText.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

constexpr double kTwoPow63 = 9223372036854775808.0;
constexpr qint64 kMax = std::numeric_limits<qint64>::max();
constexpr qint64 kMin = std::numeric_limits<qint64>::min();

FormatSettings decimalSeparator(const QString& separator)
{
    FormatSettings settings;
    settings.DecimalSeparator = separator;
    return settings;
}

}  // namespace

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void roundHalfEven_data();
    void roundHalfEven();
    void floatToStr_data();
    void floatToStr();
    void floatToStrUsesTheDecimalSeparator();
};

void TestNumberText::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("rounded");
    QTest::addColumn<bool>("fits");

    QTest::newRow("2.5") << 2.5 << qint64(2) << true;
    QTest::newRow("3.5") << 3.5 << qint64(4) << true;
    QTest::newRow("121.5") << 121.5 << qint64(122) << true;
    QTest::newRow("122.5") << 122.5 << qint64(122) << true;
    QTest::newRow("-12.5") << -12.5 << qint64(-12) << true;
    QTest::newRow("-96.5") << -96.5 << qint64(-96) << true;
    QTest::newRow("-97.5") << -97.5 << qint64(-98) << true;
    QTest::newRow("0.5") << 0.5 << qint64(0) << true;
    QTest::newRow("-0.5") << -0.5 << qint64(0) << true;
    QTest::newRow("just under a half") << 2.4999999999999996 << qint64(2) << true;
    QTest::newRow("just over a half") << 2.5000000000000004 << qint64(3) << true;
    QTest::newRow("-2.6") << -2.6 << qint64(-3) << true;
    QTest::newRow("whole") << -124.0 << qint64(-124) << true;
    QTest::newRow("last double with halves") << 4503599627370495.5 << qint64(4503599627370496) << true;
    QTest::newRow("largest double below 2^63") << std::nextafter(kTwoPow63, 0.0) << qint64(9223372036854774784) << true;
    QTest::newRow("-2^63 fits") << -kTwoPow63 << kMin << true;
    QTest::newRow("2^63 saturates") << kTwoPow63 << kMax << false;
    QTest::newRow("below -2^63 saturates") << std::nextafter(-kTwoPow63, -1e300) << kMin << false;
    QTest::newRow("1e300") << 1e300 << kMax << false;
    QTest::newRow("-1e300") << -1e300 << kMin << false;
    QTest::newRow("+inf") << std::numeric_limits<double>::infinity() << kMax << false;
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << kMin << false;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << qint64(0) << false;
}

void TestNumberText::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(qint64, rounded);
    QFETCH(bool, fits);

    QCOMPARE(RoundHalfEven(value), rounded);
    QCOMPARE(FitsWholeNumber(value), fits);
}

void TestNumberText::floatToStr_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("-12") << -12.0 << "-12";
    QTest::newRow("124") << 124.0 << "124";
    QTest::newRow("1.5") << 1.5 << "1.5";
    QTest::newRow("-0.25") << -0.25 << "-0.25";
    QTest::newRow("0.1") << 0.1 << "0.1";
    QTest::newRow("1/3 to 15 digits") << 1.0 / 3.0 << "0.333333333333333";
    QTest::newRow("2/3 rounds last digit") << 2.0 / 3.0 << "0.666666666666667";
    QTest::newRow("15-digit whole") << 123456789012345.0 << "123456789012345";
    QTest::newRow("largest 15-digit whole") << 999999999999999.0 << "999999999999999";
    QTest::newRow("1E15") << 1e15 << "1E15";
    QTest::newRow("rounds up into 16 digits") << 999999999999999.9 << "1E15";
    QTest::newRow("18-digit whole") << 123456789012345678.0 << "1.23456789012346E17";
    QTest::newRow("-1E20") << -1e20 << "-1E20";
    QTest::newRow("0.0001 fixed") << 0.0001 << "0.0001";
    QTest::newRow("0.00012345 fixed") << 0.00012345 << "0.00012345";
    QTest::newRow("1E-5") << 0.00001 << "1E-5";
    QTest::newRow("-1.5E-7") << -1.5e-7 << "-1.5E-7";
    QTest::newRow("1E-300") << 1e-300 << "1E-300";
    QTest::newRow("largest double") << std::numeric_limits<double>::max() << "1.79769313486232E308";
}

void TestNumberText::floatToStr()
{
    QFETCH(double, value);
    QFETCH(QString, expected);

    QCOMPARE(FloatToStr(value, decimalSeparator(".")), expected);
}

void TestNumberText::floatToStrUsesTheDecimalSeparator()
{
    QCOMPARE(FloatToStr(1.5, decimalSeparator(",")), QString("1,5"));
    QCOMPARE(FloatToStr(-0.00012, decimalSeparator(",")), QString("-0,00012"));
    QCOMPARE(FloatToStr(1.25e20, decimalSeparator(",")), QString("1,25E20"));
    // Whole numbers never show it.
    QCOMPARE(FloatToStr(-12.0, decimalSeparator(",")), QString("-12"));
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "TestNumberText.moc"
