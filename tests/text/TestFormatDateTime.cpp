#include "DateTimeText.h"

#include <QTest>

namespace {

FormatSettings separators(const QString& date, const QString& time)
{
    FormatSettings settings;
    settings.DateSeparator = date;
    settings.TimeSeparator = time;
    return settings;
}

const QDateTime kMoment(QDate(2024, 3, 7), QTime(14, 5, 9));

}  // namespace

class TestFormatDateTime : public QObject {
    Q_OBJECT

private slots:
    void patterns_data();
    void patterns();
    void fields_data();
    void fields();
    void takesFieldsAsGiven();
};

// The program's three patterns under the separators that regional settings
// can give.
void TestFormatDateTime::patterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("dateSeparator");
    QTest::addColumn<QString>("timeSeparator");
    QTest::addColumn<QString>("expected");

    const QString fileStamp = QStringLiteral("MMDDYY-HHNNSS");
    const QString pointLabel = QStringLiteral("hh:nn:ss");
    const QString record = QStringLiteral("MM/DD/YY,HH:NN:SS,");

    QTest::newRow("stamp slash") << fileStamp << "/"
                                 << ":"
                                 << "030724-140509";
    QTest::newRow("stamp dot") << fileStamp << "."
                               << "."
                               << "030724-140509";
    QTest::newRow("stamp empty") << fileStamp << ""
                                 << ""
                                 << "030724-140509";
    QTest::newRow("stamp dash") << fileStamp << "-"
                                << "h"
                                << "030724-140509";

    QTest::newRow("label colon") << pointLabel << "/"
                                 << ":"
                                 << "14:05:09";
    QTest::newRow("label dot") << pointLabel << "/"
                               << "."
                               << "14.05.09";
    QTest::newRow("label empty") << pointLabel << "/"
                                 << ""
                                 << "140509";

    QTest::newRow("record slash") << record << "/"
                                  << ":"
                                  << "03/07/24,14:05:09,";
    QTest::newRow("record dot date") << record << "."
                                     << ":"
                                     << "03.07.24,14:05:09,";
    QTest::newRow("record dash and dot") << record << "-"
                                         << "."
                                         << "03-07-24,14.05.09,";
    QTest::newRow("record empty") << record << ""
                                  << ""
                                  << "030724,140509,";
}

void TestFormatDateTime::patterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, dateSeparator);
    QFETCH(QString, timeSeparator);
    QFETCH(QString, expected);

    QCOMPARE(FormatDateTime(pattern, kMoment, separators(dateSeparator, timeSeparator)), expected);
}

void TestFormatDateTime::fields_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("M after H is minutes") << "hh:mm" << kMoment << "14:05";
    QTest::newRow("M right after H is minutes") << "HHMM" << kMoment << "1405";
    QTest::newRow("M after another letter is month") << "HHNNMM" << kMoment << "140503";
    QTest::newRow("M after H then M is month") << "HH MM MM" << kMoment << "14 05 03";
    QTest::newRow("M first is month") << "MM" << kMoment << "03";
    QTest::newRow("single letters pad to one")
        << "m/d/y h:n:s" << QDateTime(QDate(2024, 3, 7), QTime(4, 5, 9)) << "3/7/24 4:5:9";
    QTest::newRow("long H N S count as two") << "HHHH:NNN:SSSSS" << kMoment << "14:05:09";
    QTest::newRow("case does not matter") << "mmddyy HHnnSS" << kMoment << "030724 140509";
    QTest::newRow("a change of case ends a run") << "mM" << kMoment << "33";
    QTest::newRow("one Y is two digits") << "Y" << kMoment << "24";
    QTest::newRow("year 2000") << "YY" << QDateTime(QDate(2000, 1, 1), QTime(0, 0)) << "00";
    QTest::newRow("year 1999") << "YY" << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)) << "99";
    QTest::newRow("four Y is the full year") << "YYYY" << kMoment << "2024";
    QTest::newRow("seconds not rounded up")
        << "HH:NN:SS" << QDateTime(QDate(2024, 3, 7), QTime(23, 59, 59, 999)) << "23:59:59";
    QTest::newRow("midnight") << "HHNNSS" << QDateTime(QDate(2024, 3, 7), QTime(0, 0)) << "000000";
    QTest::newRow("other characters copied") << "[DD] x-, _" << kMoment << "[07] x-, _";
    QTest::newRow("empty pattern") << "" << kMoment << "";
}

void TestFormatDateTime::fields()
{
    QFETCH(QString, pattern);
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);

    QCOMPARE(FormatDateTime(pattern, time, separators("/", ":")), expected);
}

// The fields are written as the caller's date-time holds them: no conversion
// to UTC or local time on the way.
void TestFormatDateTime::takesFieldsAsGiven()
{
    const QDateTime utc(QDate(2024, 3, 7), QTime(14, 5, 9), Qt::UTC);
    const QDateTime offset(QDate(2024, 3, 7), QTime(14, 5, 9), Qt::OffsetFromUTC, 5 * 3600);
    QCOMPARE(FormatDateTime("MMDDYY-HHNNSS", utc, separators("/", ":")), QString("030724-140509"));
    QCOMPARE(FormatDateTime("MMDDYY-HHNNSS", offset, separators("/", ":")), QString("030724-140509"));
}

QTEST_GUILESS_MAIN(TestFormatDateTime)
#include "TestFormatDateTime.moc"
