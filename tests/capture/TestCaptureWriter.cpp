#include "CaptureWriter.h"
#include "ProgramErrors.h"
#include "WithoutFileOverride.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>


class TestCaptureWriter : public QObject {
    Q_OBJECT
private slots:
    void eachLineReachesTheFileWhole();
    void existingFileIsAppendedTo();
    void openErrors_data();
    void openErrors();
    void overlongNameIsInvalid();

private:
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

void TestCaptureWriter::eachLineReachesTheFileWhole()
{
    // Nothing is held back in memory: a reader (or a crash) sees every
    // record that was written, and never half a line.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    CaptureWriter w;
    w.Assign(path);
    w.Append();
    QCOMPARE(contents(path), QByteArray());
    w.WriteLine(QStringLiteral("03/07/24,14:05:09,151,124"));
    QCOMPARE(contents(path), QByteArray("03/07/24,14:05:09,151,124\r\n"));
    w.WriteLine(QStringLiteral("03/07/24,14:05:24,149,125"));
    QCOMPARE(contents(path), QByteArray("03/07/24,14:05:09,151,124\r\n03/07/24,14:05:24,149,125\r\n"));
    w.Close();
    QVERIFY(!w.IsOpen());
    w.Close();  // closing twice does nothing
}

void TestCaptureWriter::existingFileIsAppendedTo()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("same.csv"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old record\r\n");
    }
    CaptureWriter w;
    w.Assign(path);
    w.Append();
    w.WriteLine(QStringLiteral("new record"));
    w.Close();
    QCOMPARE(contents(path), QByteArray("old record\r\nnew record\r\n"));
}

void TestCaptureWriter::openErrors_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("readOnlyDir");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing folder") << "nothere/a.csv" << false << 3 << "Invalid filename";
    QTest::newRow("read-only folder") << "a.csv" << true << 5 << "File access denied";
}

void TestCaptureWriter::openErrors()
{
    QFETCH(QString, relative);
    QFETCH(bool, readOnlyDir);
    QFETCH(int, code);
    QFETCH(QString, message);
    QTemporaryDir dir;
    WithoutFileOverride asUser;
    if (readOnlyDir)
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    CaptureWriter w;
    w.Assign(dir.filePath(relative));
    try {
        w.Append();
        QFAIL("no error");
    } catch (const EInOutError& e) {
        QCOMPARE(e.ErrorCode, code);
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
    QVERIFY(!w.IsOpen());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestCaptureWriter::overlongNameIsInvalid()
{
    CaptureWriter w;
    try {
        w.Assign(QString(CaptureWriter::kMaxPathLength + 1, QLatin1Char('a')));
        QFAIL("no error");
    } catch (const EInOutError& e) {
        QCOMPARE(e.ErrorCode, 3);
    }
    w.Assign(QString(CaptureWriter::kMaxPathLength, QLatin1Char('a')));
}

QTEST_GUILESS_MAIN(TestCaptureWriter)
#include "TestCaptureWriter.moc"
