#include "CaptureWriter.h"
#include "ProgramErrors.h"
#include "ScriptedFileCalls.h"
#include "WithoutFileOverride.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <optional>

class TestCaptureWriter : public QObject {
    Q_OBJECT
private slots:
    void eachLineReachesTheFileWhole();
    void existingFileIsAppendedTo();
    void openErrors_data();
    void openErrors();
    void overlongNameIsInvalid();
    void eachRecordIsSyncedBeforeWriteLineReturns();
    void newFileIsSyncedWithItsDirectory();
    void failedSyncLosesTheWholeRecord_data();
    void failedSyncLosesTheWholeRecord();
    void newFileWhoseNameCannotBeSyncedIsRemoved();
    void closeSyncsAndClosesEvenWhenTheSyncFails();

private:
    // The file error a step raises; nothing when it raises none.
    static std::optional<EInOutError> ioErrorOf(const std::function<void()>& step)
    {
        try {
            step();
        } catch (const EInOutError& e) {
            return e;
        }
        return std::nullopt;
    }

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
#ifndef _WIN32
    // Windows ignores the read-only attribute of a folder (its access denial
    // is checked with the Win32 file calls' own tests).
    QTest::newRow("read-only folder") << "a.csv" << true << 5 << "File access denied";
#endif
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
    const auto error = ioErrorOf([&] { w.Append(); });
    QVERIFY(error);
    QCOMPARE(error->ErrorCode, code);
    QCOMPARE(QString::fromUtf8(error->what()), message);
    QVERIFY(!w.IsOpen());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestCaptureWriter::overlongNameIsInvalid()
{
    CaptureWriter w;
    const auto error = ioErrorOf([&] { w.Assign(QString(CaptureWriter::kMaxPathLength + 1, QLatin1Char('a'))); });
    QVERIFY(error);
    QCOMPARE(error->ErrorCode, 3);
    w.Assign(QString(CaptureWriter::kMaxPathLength, QLatin1Char('a')));
}

void TestCaptureWriter::eachRecordIsSyncedBeforeWriteLineReturns()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    ScriptedFileCalls calls;
    CaptureWriter w;
    w.Assign(path);
    w.Append();
    calls.clearLog();
    w.WriteLine(QStringLiteral("one"));
    w.WriteLine(QStringLiteral("two"));
    QCOMPARE(calls.log(), (QStringList{"write", "sync", "write", "sync"}));
    calls.clearLog();
    w.Close();
    QCOMPARE(calls.log(), (QStringList{"sync", "close"}));
}

void TestCaptureWriter::newFileIsSyncedWithItsDirectory()
{
    // Only a file the writer creates needs its name synced; appending to an
    // existing one leaves the directory alone.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    ScriptedFileCalls calls;
    CaptureWriter w;
    w.Assign(path);
    w.Append();
    QCOMPARE(calls.log(), (QStringList{"open", "sync", "syncdir"}));
    w.Close();
    calls.clearLog();
    w.Append();
    QCOMPARE(calls.log(), QStringList{"open"});
}

void TestCaptureWriter::failedSyncLosesTheWholeRecord_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("device error") << EIO << 1117 << "I/O error 1117";
    QTest::newRow("disk full") << ENOSPC << 112 << "I/O error 112";
    QTest::newRow("read-only now") << EROFS << 5 << "File access denied";
}

void TestCaptureWriter::failedSyncLosesTheWholeRecord()
{
    // A record that may not be on disk is reported lost, and it is taken out
    // of the file so it cannot turn up later next to the record that carries
    // its period's samples.
    QFETCH(int, error);
    QFETCH(int, code);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    ScriptedFileCalls calls;
    CaptureWriter w;
    w.Assign(path);
    w.Append();
    w.WriteLine(QStringLiteral("one"));
    calls.failNext(QStringLiteral("sync"), error);
    const auto raised = ioErrorOf([&] { w.WriteLine(QStringLiteral("two")); });
    QVERIFY(raised);
    QCOMPARE(raised->ErrorCode, code);
    QCOMPARE(QString::fromUtf8(raised->what()), message);
    QCOMPARE(contents(path), QByteArray("one\r\n"));
    QVERIFY(w.IsOpen());
    w.WriteLine(QStringLiteral("three"));
    w.Close();
    QCOMPARE(contents(path), QByteArray("one\r\nthree\r\n"));
}

void TestCaptureWriter::newFileWhoseNameCannotBeSyncedIsRemoved()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    ScriptedFileCalls calls;
    calls.failNext(QStringLiteral("syncdir"), EIO);
    CaptureWriter w;
    w.Assign(path);
    const auto error = ioErrorOf([&] { w.Append(); });
    QVERIFY(error);
    QCOMPARE(error->ErrorCode, 1117);
    QVERIFY(!w.IsOpen());
    QVERIFY(!QFile::exists(path));
    w.Append();  // the next attempt creates it
    QVERIFY(QFile::exists(path));
}

void TestCaptureWriter::closeSyncsAndClosesEvenWhenTheSyncFails()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    ScriptedFileCalls calls;
    CaptureWriter w;
    w.Assign(path);
    w.Append();
    w.WriteLine(QStringLiteral("one"));
    calls.failNext(QStringLiteral("sync"), EIO);
    calls.clearLog();
    const auto error = ioErrorOf([&] { w.Close(); });
    QVERIFY(error);
    QCOMPARE(error->ErrorCode, 1117);
    QCOMPARE(calls.log(), (QStringList{"sync", "close"}));
    QVERIFY(!w.IsOpen());
    QCOMPARE(contents(path), QByteArray("one\r\n"));
}

QTEST_GUILESS_MAIN(TestCaptureWriter)
#include "TestCaptureWriter.moc"
