#include "K4SimProcess.h"
#include "ScratchWorkingDir.h"
#include "WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Polling and recording through the window against the bundled simulator.
class TestPolling : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pollAndCaptureThreeRecords();
    void silentRadioRecordsNothing();
    void radioClosingMidCaptureLeavesConsistentFile();
    void stopPollerDuringTickWaitLeavesLinkConnected();
    void closeDuringTickWaitRunsShutdownInsideIt();

private:
    static QStringList lines(const QString& path)
    {
        bool complete = false;
        const QStringList out = CaptureFileLines(path, &complete);
        return complete ? out : QStringList{QStringLiteral("<incomplete line>")};
    }
    void startPolling(WindowFixture& f, const K4SimProcess& sim)
    {
        f.aimAt(sim.port());
        QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
        QVERIFY(f.w->S.bConnectionStatus);
        QVERIFY(f.w->Poller->isActive());
    }
    void beginCapture(WindowFixture& f, int seconds)
    {
        f.ui().seHowLong->setText(QString::number(seconds));
        f.ui().Additionaldata->setText(QStringLiteral("e2e"));
        QTest::mouseClick(f.ui().bBeginCapture, Qt::LeftButton);
        QVERIFY(f.w->S.FileWrite);
    }

    // Runs action once, from inside the cooperative wait of the next poll tick.
    void duringNextTickWait(WindowFixture& f, std::function<void()> action)
    {
        auto* watch = new QTimer(f.w.get());
        watch->setInterval(5);
        connect(watch, &QTimer::timeout, f.w.get(), [watch, &f, action] {
            if (f.w->S.polleractive) {
                watch->stop();
                watch->deleteLater();
                action();
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(!f.w->S.polleractive, 3000);
        watch->start();
    }

    std::unique_ptr<ScratchWorkingDir> m_dir;
    // Records must not depend on the machine's regional settings.
    FormatSettings::Override m_formats{FormatSettings{}};
};

void TestPolling::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestPolling::init()
{
    m_dir = std::make_unique<ScratchWorkingDir>();
}

void TestPolling::cleanup()
{
    m_dir.reset();
}

void TestPolling::pollAndCaptureThreeRecords()
{
    K4SimProcess sim({QStringLiteral("--fixed-sm"), QStringLiteral("12"), QStringLiteral("--fixed-smh"),
                      QStringLiteral("151")});
    QVERIFY(sim.ok());
    WindowFixture f;
    startPolling(f, sim);
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().SMeterBarCount->text(), QStringLiteral("0012"), 5000);
    QCOMPARE(f.ui().SMeterBar->position(), 12);
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().lReturnedData->text(), QStringLiteral("SMH151;"), 5000);
    QVERIFY(f.ui().Label6->text().contains(QRegularExpression(QStringLiteral("^\\d{6}-\\d{6}$"))));

    beginCapture(f, 2);
    const QString path = f.w->S.sFileName;
    QTRY_VERIFY_WITH_TIMEOUT(lines(path).size() >= 3, 15000);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    QVERIFY(!f.w->S.FileWrite);

    // 151 converts to -123; every record carries 123.
    static const QRegularExpression record(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,151,123$"));
    const QStringList got = lines(path);
    QVERIFY(got.size() >= 3);
    for (const QString& line : got)
        QVERIFY2(record.match(line).hasMatch(), qPrintable(line));
    QCOMPARE(f.ui().lAverage->text(), QStringLiteral("123"));
    // A spreadsheet reader takes the file as it is: four fields per row.
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv,sys\n"
                                 "rows=list(csv.reader(open(sys.argv[1],newline='')))\n"
                                 "assert rows and all(len(r)==4 and r[2]=='151' and r[3]=='123' for r in rows), rows\n"
                                 "print(len(rows))"),
                  path});
    if (python.waitForFinished(10000) && python.error() != QProcess::FailedToStart) {
        QCOMPARE(python.exitCode(), 0);
        QCOMPARE(python.readAllStandardOutput().trimmed().toInt(), got.size());
    }
    // The first period is recorded but not plotted.
    QCOMPARE(f.w->chart()->Count(), got.size() - 1);

    QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    QTRY_VERIFY(!f.w->S.bConnectionStatus);
    QTRY_VERIFY(!f.w->Poller->isActive());
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Red);
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestPolling::silentRadioRecordsNothing()
{
    K4SimProcess sim({QStringLiteral("--silent")});
    QVERIFY(sim.ok());
    WindowFixture f;
    startPolling(f, sim);
    beginCapture(f, 2);
    QTest::qWait(5000);
    // No reading, no record: a silent radio must not log plausible levels.
    QCOMPARE(QFileInfo(f.w->S.sFileName).size(), 0);
    QCOMPARE(f.w->chart()->Count(), 0);
    QCOMPARE(f.ui().SMeterBarCount->text(), QStringLiteral("180"));
    QCOMPARE(f.ui().SMeterBar->position(), 180);
    QCOMPARE(f.w->S.sNewSMH, QStringLiteral("180"));
}

void TestPolling::radioClosingMidCaptureLeavesConsistentFile()
{
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151"), QStringLiteral("--close-after"),
                      QStringLiteral("10")});
    QVERIFY(sim.ok());
    WindowFixture f;
    startPolling(f, sim);
    beginCapture(f, 2);
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->S.bConnectionStatus, 15000);
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Red);
    QTest::qWait(4500);
    const QStringList got = lines(f.w->S.sFileName);
    // The level comes from real readings only; field 3 is the last single
    // reading, "180" when the tick before the record heard nothing.
    static const QRegularExpression record(
        QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,(151|180),123$"));
    for (const QString& line : got)
        QVERIFY2(record.match(line).hasMatch(), qPrintable(line));
    // Without readings no further records come.
    QTest::qWait(4500);
    QCOMPARE(lines(f.w->S.sFileName), got);
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestPolling::stopPollerDuringTickWaitLeavesLinkConnected()
{
    K4SimProcess sim;
    QVERIFY(sim.ok());
    WindowFixture f;
    startPolling(f, sim);
    // Click Stop Poller while the next tick waits for the radio.
    bool clickedInsideTick = false;
    duringNextTickWait(f, [&] {
        clickedInsideTick = f.w->S.polleractive;
        QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    });
    QTRY_VERIFY_WITH_TIMEOUT(clickedInsideTick, 5000);
    QTRY_VERIFY(!f.w->S.polleractive);
    QVERIFY(!f.w->Poller->isActive());
    QVERIFY(f.w->S.bConnectionStatus);
    QVERIFY(f.w->link().Connected());
    QCOMPARE(f.ui().PollerLED->colour(), Led::LedColour::Red);
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestPolling::closeDuringTickWaitRunsShutdownInsideIt()
{
    K4SimProcess sim;
    QVERIFY(sim.ok());
    WindowFixture f;
    startPolling(f, sim);
    bool insideTick = false;
    QSignalSpy terminate(f.w.get(), &Tfrm_framework::terminateRequested);
    connect(f.w.get(), &Tfrm_framework::terminateRequested, f.w.get(), [&] { insideTick = f.w->S.polleractive; });
    duringNextTickWait(f, [&] { f.w->close(); });
    QTRY_COMPARE_WITH_TIMEOUT(terminate.size(), 1, 5000);
    QVERIFY(insideTick);
    // The interrupted tick finishes, then polling has stopped.
    QTRY_VERIFY(!f.w->S.polleractive);
    QVERIFY(!f.w->Poller->isActive());
    QCOMPARE(terminate.size(), 1);
    QCOMPARE(f.boxes.texts(QStringLiteral("confirmation")).size(), 1);
}

QTEST_MAIN(TestPolling)
#include "TestPolling.moc"
