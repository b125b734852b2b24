#include "CaptureName.h"
#include "CaptureRecord.h"
#include "FormatSettings.h"

#include <QDir>
#include <QTest>

// The capture file's record line and name, under the regional separators a
// computer can have.
class TestCaptureRecord : public QObject {
    Q_OBJECT
private slots:
    void recordLineAndName_data();
    void recordLineAndName();
    void pathJoinsDirectoryAndName();
};

void TestCaptureRecord::recordLineAndName_data()
{
    QTest::addColumn<QString>("dateSeparator");
    QTest::addColumn<QString>("reading");
    QTest::addColumn<double>("level");
    QTest::addColumn<QString>("line");
    QTest::newRow("plain") << "/"
                           << "151" << 124.0 << "03/07/24,14:05:09,151,124";
    QTest::newRow("first period's sign") << "/"
                                         << "151" << -124.0 << "03/07/24,14:05:09,151,-124";
    QTest::newRow("leading zeros kept") << "/"
                                        << "0151" << 94.0 << "03/07/24,14:05:09,0151,94";
    QTest::newRow("no poll yet") << "/"
                                 << "" << 0.0 << "03/07/24,14:05:09,,0";
    // The date separator changes the record, never the file name.
    QTest::newRow("dot dates") << "."
                               << "151" << 124.0 << "03.07.24,14:05:09,151,124";
}

void TestCaptureRecord::recordLineAndName()
{
    QFETCH(QString, dateSeparator);
    QFETCH(QString, reading);
    QFETCH(double, level);
    QFETCH(QString, line);
    FormatSettings settings;
    settings.DateSeparator = dateSeparator;
    const FormatSettings::Override regional(settings);
    const QDateTime moment(QDate(2024, 3, 7), QTime(14, 5, 9, 999));
    QCOMPARE(CaptureRecordLine(moment, reading, level), line);
    QCOMPARE(CaptureFileName(moment, QStringLiteral("dipole")), QStringLiteral("030724-140509-dipole.csv"));
    QCOMPARE(CaptureFileName(moment, QString()), QStringLiteral("030724-140509-.csv"));
}

void TestCaptureRecord::pathJoinsDirectoryAndName()
{
    // One separator is always added, also after a root folder, which the
    // file system takes doubled; the path is in the system's own separators.
    QCOMPARE(CaptureFilePath(QStringLiteral("/home/op"), QStringLiteral("a.csv")),
             QDir::toNativeSeparators(QStringLiteral("/home/op/a.csv")));
    QCOMPARE(CaptureFilePath(QStringLiteral("/"), QStringLiteral("a.csv")),
             QDir::toNativeSeparators(QStringLiteral("//a.csv")));
}

QTEST_GUILESS_MAIN(TestCaptureRecord)
#include "TestCaptureRecord.moc"
