#include "ErrorText.h"
#include "NumberText.h"
#include "ProgramErrors.h"

#include <QTest>

#include <cerrno>

class TestProgramErrors : public QObject {
    Q_OBJECT
private slots:
    void fullStopRule_data();
    void fullStopRule();
    void innermostMessageOfNestedErrors();
    void ioMessages_data();
    void ioMessages();
    void errnoMapping_data();
    void errnoMapping();
    void strToInt_data();
    void strToInt();
    void strToFloat();
    void startupText();
};

void TestProgramErrors::fullStopRule_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("conversion error") << "'abc' is not a valid integer value"
                                      << "'abc' is not a valid integer value.";
    QTest::newRow("already has one") << "Connect timed out."
                                     << "Connect timed out.";
    QTest::newRow("ends in !") << "Stop!"
                               << "Stop!";
    QTest::newRow("ends in )") << "I/O error (5)"
                               << "I/O error (5)";
    QTest::newRow("ends in ,") << "a,"
                               << "a,";
    QTest::newRow("ends in space") << "a "
                                   << "a ";
    QTest::newRow("ends in digit") << "I/O error 123"
                                   << "I/O error 123.";
    QTest::newRow("ends in colon") << "see:"
                                   << "see:.";
    QTest::newRow("ends in ?") << "why?"
                               << "why?.";
    QTest::newRow("empty") << ""
                           << "";
}

void TestProgramErrors::fullStopRule()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(StandardErrorText(std::runtime_error(message.toStdString())), shown);
}

void TestProgramErrors::innermostMessageOfNestedErrors()
{
    try {
        try {
            throw EInOutError(5);
        } catch (...) {
            std::throw_with_nested(std::runtime_error("outer"));
        }
    } catch (const std::exception& e) {
        QCOMPARE(StandardErrorText(e), QStringLiteral("File access denied."));
    }
}

void TestProgramErrors::ioMessages_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("2") << 2 << "File not found";
    QTest::newRow("3") << 3 << "Invalid filename";
    QTest::newRow("4") << 4 << "Too many open files";
    QTest::newRow("5") << 5 << "File access denied";
    QTest::newRow("100") << 100 << "Read beyond end of file";
    QTest::newRow("101") << 101 << "Disk full";
    QTest::newRow("106") << 106 << "Invalid numeric input";
    QTest::newRow("112") << 112 << "I/O error 112";
    QTest::newRow("123") << 123 << "I/O error 123";
}

void TestProgramErrors::ioMessages()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    QCOMPARE(QString::fromUtf8(EInOutError(code).what()), message);
}

void TestProgramErrors::errnoMapping_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("code");
    QTest::newRow("missing folder") << ENOENT << 3;
    QTest::newRow("name too long") << ENAMETOOLONG << 3;
    QTest::newRow("not a folder") << ENOTDIR << 3;
    QTest::newRow("permission") << EACCES << 5;
    QTest::newRow("read-only file system") << EROFS << 5;
    QTest::newRow("no space") << ENOSPC << 112;
    QTest::newRow("too many files") << EMFILE << 4;
}

void TestProgramErrors::errnoMapping()
{
    QFETCH(int, error);
    QFETCH(int, code);
    QCOMPARE(WindowsErrorFromErrno(error), code);
}

void TestProgramErrors::strToInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("leading zeros") << "0012" << true << 12;
    QTest::newRow("many leading zeros") << "0000000000000000000012" << true << 12;
    QTest::newRow("no-reply value") << "180" << true << 180;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
    QTest::newRow("one more") << "2147483648" << false << 0;
    QTest::newRow("joined replies") << "0012070" << true << 12070;
    QTest::newRow("port") << "9200" << true << 9200;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("negative") << "-5" << true << -5;
}

void TestProgramErrors::strToInt()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    if (valid) {
        QCOMPARE(StrToInt(text), value);
    } else {
        try {
            StrToInt(text);
            QFAIL("no error");
        } catch (const EConvertError& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }
}

void TestProgramErrors::strToFloat()
{
    QCOMPARE(StrToFloat(QStringLiteral("070")), 70.0);
    const QString huge(400, QLatin1Char('9'));
    QVERIFY_THROWS_EXCEPTION(EConvertError, StrToFloat(huge));
}

void TestProgramErrors::startupText()
{
    const QString text = StartupErrorText(EInOutError(3), QStringLiteral("quorvel"), 0x1234);
    QVERIFY(text.startsWith(QStringLiteral("Exception EInOutError in module quorvel at ")));
    QVERIFY(text.endsWith(QStringLiteral(".\r\nInvalid filename.\r\n")));
}

QTEST_GUILESS_MAIN(TestProgramErrors)
#include "TestProgramErrors.moc"
