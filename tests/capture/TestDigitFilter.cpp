#include "DigitFilter.h"

#include <QTest>

class TestDigitFilter : public QObject {
    Q_OBJECT
private slots:
    void filter_data();
    void filter();
};

void TestDigitFilter::filter_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("digits");
    QTest::newRow("bar reply") << "SM0012;"
                               << "0012";
    QTest::newRow("high-resolution reply") << "SMH070;"
                                           << "070";
    QTest::newRow("no digits") << "SMH;"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("replacement character") << QStringLiteral("SM\uFFFD0012;") << "0012";
    QTest::newRow("non-ASCII digits removed") << QStringLiteral("\u0661\u0662 12") << "12";
    QTest::newRow("CR LF and NUL") << QString::fromUtf16(u"1\r\n2\0003", 6) << "123";
}

void TestDigitFilter::filter()
{
    QFETCH(QString, input);
    QFETCH(QString, digits);
    DigitFilter filter;
    QCOMPARE(filter.apply(input), digits);
    // A reply without digits reads as the meter's resting value.
    QCOMPARE(filter.digitsOrNoReply(input), digits.isEmpty() ? QStringLiteral("180") : digits);
}

QTEST_GUILESS_MAIN(TestDigitFilter)
#include "TestDigitFilter.moc"
