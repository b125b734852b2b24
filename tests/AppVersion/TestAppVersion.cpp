#include "AppVersion.h"
#include "VersionBlock.h"

#include <QTest>

class TestAppVersion : public QObject {
    Q_OBJECT

private slots:
    void programBlock_data();
    void programBlock();
    void fileVersion();
    void missingResourceThrows();
};

void TestAppVersion::programBlock_data()
{
    QTest::addColumn<QString>("ident");
    QTest::addColumn<QString>("expected");

    QTest::newRow("FileVersion") << "FileVersion"
                                 << "0.0.6.0";
    QTest::newRow("ProgramID") << "ProgramID"
                               << "org.quorvel.Quorvel";
    QTest::newRow("ProductVersion") << "ProductVersion"
                                    << "1.0.0.0";
    QTest::newRow("FileDescription") << "FileDescription"
                                     << "Quorvel";
    QTest::newRow("ProductName") << "ProductName"
                                 << "Quorvel";
    QTest::newRow("absent key") << "CompanyName"
                                << "";
}

void TestAppVersion::programBlock()
{
    QFETCH(QString, ident);
    QFETCH(QString, expected);

    QCOMPARE(GetVersionInfo(ident), expected);
}

void TestAppVersion::fileVersion()
{
    QCOMPARE(FileVersion(), QString("0.0.6.0"));
}

void TestAppVersion::missingResourceThrows()
{
    try {
        GetVersionInfoIn(std::nullopt, "FileVersion");
        QFAIL("no error raised");
    } catch (const EResNotFound& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QString("Resource 1 not found"));
    }
    // A resource that is there but empty is malformed, not missing.
    QCOMPARE(GetVersionInfoIn(QByteArrayView(), "FileVersion"), QString());
}

QTEST_GUILESS_MAIN(TestAppVersion)
#include "TestAppVersion.moc"
