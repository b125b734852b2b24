#include "DateTimeText.h"
#include "FormatSettings.h"
#include "NumberText.h"

#include <QTest>

class TestFormatSettings : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void fromLocale_data();
    void fromLocale();
    void currentIsTheDefaultOfEveryText();
    void reloadReadsTheSystemLocale();
};

void TestFormatSettings::cleanup()
{
    FormatSettings::reloadFromSystem();
}

// Qt carries its own locale data, so these do not depend on the locales
// installed on the machine.
void TestFormatSettings::fromLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("decimal");

    QTest::newRow("en_US") << QLocale("en_US") << "/"
                           << ":"
                           << ".";
    QTest::newRow("de_DE") << QLocale("de_DE") << "."
                           << ":"
                           << ",";
    QTest::newRow("fr_FR") << QLocale("fr_FR") << "/"
                           << ":"
                           << ",";
    QTest::newRow("nl_NL") << QLocale("nl_NL") << "-"
                           << ":"
                           << ",";
    QTest::newRow("fi_FI dot in time") << QLocale("fi_FI") << "."
                                       << "."
                                       << ",";
    QTest::newRow("hu_HU dot and space") << QLocale("hu_HU") << "."
                                         << ":"
                                         << ",";
    // "AP h:mm": the hour comes after an AM/PM field.
    QTest::newRow("ko_KR marker first") << QLocale("ko_KR") << "."
                                        << ":"
                                        << ".";
    // "d.MM.yy 'г'.": quoted words are not separators.
    QTest::newRow("bg_BG quoted suffix") << QLocale("bg_BG") << "."
                                         << ":"
                                         << ",";
    // Right-to-left marks stand before the slashes.
    QTest::newRow("ar_EG direction marks") << QLocale("ar_EG") << "/"
                                           << ":" << QString(QChar(0x066B));
    // "d MMM yyyy" has no numeric date separator: the fallback applies.
    QTest::newRow("C") << QLocale::c() << "/"
                       << ":"
                       << ".";
}

void TestFormatSettings::fromLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QString, decimal);

    const FormatSettings settings = FormatSettings::fromLocale(locale);
    QCOMPARE(settings.DateSeparator, date);
    QCOMPARE(settings.TimeSeparator, time);
    QCOMPARE(settings.DecimalSeparator, decimal);
}

void TestFormatSettings::currentIsTheDefaultOfEveryText()
{
    const QDateTime moment(QDate(2024, 3, 7), QTime(14, 5, 9));
    {
        const FormatSettings::Override german(FormatSettings::fromLocale(QLocale("de_DE")));
        QCOMPARE(FormatSettings::current().DateSeparator, QString("."));
        QCOMPARE(FormatDateTime("MM/DD/YY,HH:NN:SS,", moment), QString("03.07.24,14:05:09,"));
        QCOMPARE(FloatToStr(1.5), QString("1,5"));
    }
    const FormatSettings::Override american(FormatSettings::fromLocale(QLocale("en_US")));
    QCOMPARE(FormatDateTime("MM/DD/YY,HH:NN:SS,", moment), QString("03/07/24,14:05:09,"));
    QCOMPARE(FloatToStr(1.5), QString("1.5"));
}

void TestFormatSettings::reloadReadsTheSystemLocale()
{
    const FormatSettings::Override odd(FormatSettings{"x", "y", "z"});
    FormatSettings::reloadFromSystem();

    const FormatSettings expected = FormatSettings::fromLocale(QLocale::system());
    QCOMPARE(FormatSettings::current().DateSeparator, expected.DateSeparator);
    QCOMPARE(FormatSettings::current().TimeSeparator, expected.TimeSeparator);
    QCOMPARE(FormatSettings::current().DecimalSeparator, expected.DecimalSeparator);
}

QTEST_GUILESS_MAIN(TestFormatSettings)
#include "TestFormatSettings.moc"
