#include "K4SimProcess.h"
#include "ProgramWiring.h"
#include "ScratchWorkingDir.h"
#include "ScriptedFileCalls.h"
#include "SessionEndWatcher.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QTest>

#include <csignal>

// How the program ends with a capture open, as far as the records are concerned.
class TestProgramEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void endingSignalWritesTheWaitingRecordsFirst_data();
    void endingSignalWritesTheWaitingRecordsFirst();
};

void TestProgramEnd::endingSignalWritesTheWaitingRecordsFirst_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestProgramEnd::endingSignalWritesTheWaitingRecordsFirst()
{
    // The disk refused the first record, which waits for the next period;
    // the program is told to end before that comes. The record reaches the
    // file before it is closed.
    QFETCH(int, signal);
    ScratchWorkingDir dir;
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    QVERIFY(sim.ok());
    ScriptedFileCalls calls;
    WindowFixture f;
    SessionEndWatcher sessionEnd;
    ConnectProgramEnd(*qobject_cast<QApplication*>(QCoreApplication::instance()), *f.w, sessionEnd);
    f.aimAt(sim.port());
    QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
    QVERIFY(f.w->S.bConnectionStatus);
    f.ui().seHowLong->setText(QStringLiteral("3"));
    f.ui().bBeginCapture->setEnabled(true);
    QTest::mouseClick(f.ui().bBeginCapture, Qt::LeftButton);
    QVERIFY(f.w->S.FileWrite);
    const QString path = f.w->S.sFileName;
    calls.failNext(QStringLiteral("sync"), EIO);
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.texts(QStringLiteral("error")), QStringList{QStringLiteral("I/O error 1117.")},
                              10000);
    QCOMPARE(CaptureFileLines(path).size(), 0);

    QVERIFY(::raise(signal) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->S.FileWrite, 5000);
    QVERIFY(!f.w->S.txt.IsOpen());
    bool complete = false;
    QCOMPARE(CaptureFileLines(path, &complete).size(), 1);
    QVERIFY(complete);
    QVERIFY(calls.log().endsWith(QStringLiteral("close")));
}

QTEST_MAIN(TestProgramEnd)
#include "TestProgramEnd.moc"
