#include "CaptureRecorder.h"
#include "ScriptedFileCalls.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <mutex>

// The recorder's promises that take a long fault to show: what waits in
// memory, in which order, what is dropped beyond the bound, and what a close
// does with records the disk has not taken.
class TestCaptureRecorder : public QObject {
    Q_OBJECT
private slots:
    void closeWritesTheWaitingRecordsFirst_data();
    void closeWritesTheWaitingRecordsFirst();
    void oldestRecordsAreDroppedBeyondTheBound();

private:
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

void TestCaptureRecorder::closeWritesTheWaitingRecordsFirst_data()
{
    QTest::addColumn<int>("failedSyncs");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("reported");
    // The disk is back by the close: the records waiting reach the file.
    QTest::newRow("disk back") << 2 << QByteArray("one\r\ntwo\r\n") << QStringList{"I/O error 1117."};
    // Still failing: the close reports what is lost.
    QTest::newRow("disk still failing") << 100 << QByteArray()
                                        << QStringList{"I/O error 1117.", CaptureRecorder::DroppedRecordsText(2)};
}

void TestCaptureRecorder::closeWritesTheWaitingRecordsFirst()
{
    QFETCH(int, failedSyncs);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, reported);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    ScriptedFileCalls calls;
    CaptureRecorder recorder;
    QSignalSpy failed(&recorder, &CaptureRecorder::writeFailed);
    QVERIFY(failed.isValid());
    recorder.Assign(path);
    recorder.Append();
    calls.clearLog();
    calls.failNext(QStringLiteral("sync"), EIO, failedSyncs);
    recorder.WriteLine(QStringLiteral("one"));
    QTRY_COMPARE(failed.size(), 1);
    recorder.WriteLine(QStringLiteral("two"));
    // The second attempt fails the same way: not told again.
    QTRY_COMPARE(calls.log().count(QStringLiteral("sync")), 2);
    recorder.Close();
    QVERIFY(!recorder.IsOpen());
    QCOMPARE(contents(path), file);
    QTest::qWait(50);  // a report still queued would show up now
    QStringList texts;
    for (const QList<QVariant>& args : failed)
        texts << args.at(0).toString();
    QCOMPARE(texts, reported);
}

void TestCaptureRecorder::oldestRecordsAreDroppedBeyondTheBound()
{
    // A week of periods waits for a disk that takes none of them; the first
    // is on its way to the disk when the bound is reached, so the oldest
    // after it make room.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    ScriptedFileCalls calls;
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    calls.onCall = [&](const QString& call) {
        if (call != QLatin1String("write"))
            return;
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return release; });
    };
    CaptureRecorder recorder;
    QSignalSpy written(&recorder, &CaptureRecorder::recordWritten);
    QSignalSpy failed(&recorder, &CaptureRecorder::writeFailed);
    QVERIFY(written.isValid() && failed.isValid());
    recorder.Assign(path);
    recorder.Append();
    calls.failNext(QStringLiteral("write"), ENOSPC);
    constexpr int kDropped = 5;
    const int total = int(CaptureRecorder::kMaxWaitingRecords) + kDropped;
    recorder.WriteLine(QStringLiteral("r0"));
    QTRY_COMPARE(calls.log().count(QStringLiteral("write")), 1);  // r0 is being written
    for (int i = 1; i < total; ++i)
        recorder.WriteLine(QStringLiteral("r%1").arg(i));
    {
        const std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    QTRY_VERIFY_WITH_TIMEOUT(!written.isEmpty(), 20000);
    QCOMPARE(written.last().at(0).toString(), QStringLiteral("r%1").arg(total - 1));
    QTRY_COMPARE(failed.size(), 2);
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("I/O error 112."));
    QCOMPARE(failed.at(1).at(0).toString(), CaptureRecorder::DroppedRecordsText(kDropped));
    recorder.Close();

    const QList<QByteArray> lines = contents(path).split('\n');
    QCOMPARE(lines.size(), total - kDropped + 1);  // the last is empty
    QCOMPARE(lines.at(0), QByteArray("r0\r"));
    for (int i = 1; i < lines.size() - 1; ++i)
        QCOMPARE(lines.at(i), QStringLiteral("r%1\r").arg(i + kDropped).toLatin1());
}

QTEST_GUILESS_MAIN(TestCaptureRecorder)
#include "TestCaptureRecorder.moc"
