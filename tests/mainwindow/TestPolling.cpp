#include "K4SimProcess.h"
#include "ScratchWorkingDir.h"
#include "WindowFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
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
    void stopPollerDuringTickWaitDisconnectsWhenTickEnds_data();
    void stopPollerDuringTickWaitDisconnectsWhenTickEnds();
    void stopPollerRightAfterStartDisconnects();
    void stopThenStartUsesNewHost();
    void closeDuringTickWaitRunsShutdownInsideIt();
    void errorBoxHoldsUpNeitherTimer();
    void writeErrorDuringTickWaitHoldsUpNeitherTimer();
    void startClickDuringTickWaitShowsBoxWithoutStoppingPolls();

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

    // The real boxes for one test, in place of the recorder: they must not
    // hold up the timers while nobody answers them.
    struct RealBoxes {
        RecordingBoxes& recorder;
        explicit RealBoxes(RecordingBoxes& r) : recorder(r) { MessageBoxes::install(nullptr); }
        ~RealBoxes()
        {
            while (QWidget* box = QApplication::activeModalWidget())
                delete box;
            MessageBoxes::install(&recorder);
        }
    };
    static QMessageBox* openBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

    std::unique_ptr<ScratchWorkingDir> m_dir;
};

void TestPolling::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    FormatSettings::setCurrent(FormatSettings{});
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

void TestPolling::stopPollerDuringTickWaitDisconnectsWhenTickEnds_data()
{
    // Milliseconds into the tick: 100 ms after "sm;", the 50 ms poll flash,
    // 100 ms after "smh;", then the 300 ms settle wait.
    QTest::addColumn<int>("atMs");
    QTest::newRow("after sm;") << 40;
    QTest::newRow("poll LED flash") << 120;
    QTest::newRow("after smh;") << 200;
    QTest::newRow("settle wait") << 420;
}

void TestPolling::stopPollerDuringTickWaitDisconnectsWhenTickEnds()
{
    QFETCH(int, atMs);
    K4SimProcess sim;
    QVERIFY(sim.ok());
    WindowFixture f;
    startPolling(f, sim);
    bool clickedInsideTick = false;
    QElapsedTimer sinceTickStart;
    duringNextTickWait(f, [&] {
        sinceTickStart.start();
        auto* at = new QTimer(f.w.get());
        at->setInterval(2);
        connect(at, &QTimer::timeout, f.w.get(), [&, at] {
            if (sinceTickStart.elapsed() < atMs)
                return;
            at->stop();
            at->deleteLater();
            clickedInsideTick = f.w->S.polleractive;
            QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
            // The link is not cut in the middle of the tick.
            QVERIFY(f.w->link().Connected());
        });
        at->start();
    });
    QTRY_VERIFY_WITH_TIMEOUT(clickedInsideTick, 5000);
    // Carried out as soon as the tick has ended.
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->link().Connected(), 1000);
    QVERIFY(!f.w->S.polleractive);
    QVERIFY(!f.w->S.bConnectionStatus);
    QVERIFY(!f.w->Poller->isActive());
    for (Led* led : {f.ui().OnLineLED, f.ui().DataLED, f.ui().PollerLED})
        QCOMPARE(led->colour(), Led::LedColour::Red);
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestPolling::stopPollerRightAfterStartDisconnects()
{
    K4SimProcess sim;
    QVERIFY(sim.ok());
    WindowFixture f;
    startPolling(f, sim);
    QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    QVERIFY(!f.w->link().Connected());
    QVERIFY(!f.w->S.bConnectionStatus);
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Red);
    QCOMPARE(f.ui().LastNetRequestLabel->text(), QStringLiteral("Disconnected."));
    QTest::qWait(1500);
    QVERIFY(!f.w->Poller->isActive());
    QVERIFY(!f.w->link().Connected());
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestPolling::stopThenStartUsesNewHost()
{
    K4SimProcess first({QStringLiteral("--fixed-smh"), QStringLiteral("111")});
    K4SimProcess second({QStringLiteral("--fixed-smh"), QStringLiteral("222")});
    QVERIFY(first.ok() && second.ok());
    WindowFixture f;
    startPolling(f, first);
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().lReturnedData->text(), QStringLiteral("SMH111;"), 5000);
    // Stop in the middle of a tick, then at once the other radio.
    duringNextTickWait(f, [&] { QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton); });
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->S.bConnectionStatus, 5000);
    startPolling(f, second);
    beginCapture(f, 2);
    QCOMPARE(f.ui().LastPortlabel->text(), second.portText());
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().lReturnedData->text(), QStringLiteral("SMH222;"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!lines(f.w->S.sFileName).isEmpty(), 10000);
    QVERIFY(lines(f.w->S.sFileName).first().endsWith(QStringLiteral(",222,52")));
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

void TestPolling::errorBoxHoldsUpNeitherTimer()
{
    // The fourth bar reply holds more digits than an integer: that tick fails
    // and its error box stays open while nobody answers it.
    K4SimProcess sim({QStringLiteral("--fixed-sm"), QStringLiteral("12"), QStringLiteral("--fixed-smh"),
                      QStringLiteral("151"), QStringLiteral("--bad-sm-at"), QStringLiteral("4"),
                      QStringLiteral("--verbose")});
    QVERIFY(sim.ok());
    WindowFixture f;
    RealBoxes real(f.boxes);
    startPolling(f, sim);
    beginCapture(f, 2);
    const QString path = f.w->S.sFileName;
    QMessageBox* box = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((box = openBox()) != nullptr, 10000);
    QCOMPARE(box->text(), QStringLiteral("'99999999999' is not a valid integer value."));
    QCOMPARE(box->windowTitle(), ApplicationTitle());
    QCOMPARE(box->icon(), QMessageBox::Critical);

    const int polledBefore = sim.receivedCount("sm;");
    const qsizetype recordsBefore = lines(path).size();
    QTest::qWait(6000);
    QCOMPARE(openBox(), box);
    QVERIFY2(sim.receivedCount("sm;") - polledBefore >= 5, "the radio is still polled every second");
    QVERIFY2(lines(path).size() - recordsBefore >= 2, "the capture still gains a record every period");
    QCOMPARE(f.ui().SMeterBarCount->text(), QStringLiteral("0012"));

    QTest::keyClick(box, Qt::Key_Return);
    QTRY_VERIFY(!openBox());
}

void TestPolling::writeErrorDuringTickWaitHoldsUpNeitherTimer()
{
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    QVERIFY(sim.ok());
    WindowFixture f;
    RealBoxes real(f.boxes);
    startPolling(f, sim);
    beginCapture(f, 2);
    // From now on every record meets a full disk.
    f.w->S.txt.Close();
    f.w->S.txt.Assign(QStringLiteral("/dev/full"));
    f.w->S.txt.Append();
    // Held back until a poll tick waits, with readings to record by then.
    f.w->UserTimer->stop();
    QTRY_VERIFY_WITH_TIMEOUT(f.w->S.AverageCount > 0, 5000);
    // The integration tick comes due while a poll tick waits for the radio.
    bool raisedInsideTick = false;
    bool seen = false;
    duringNextTickWait(f, [&] {
        // Runs after the window's own handler of the same tick.
        connect(f.w->UserTimer, &QTimer::timeout, f.w.get(), [&] {
            if (!seen && openBox()) {
                seen = true;
                raisedInsideTick = f.w->S.polleractive;
            }
        });
        f.w->UserTimer->start(200);
    });
    QMessageBox* box = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((box = openBox()) != nullptr, 5000);
    QVERIFY(raisedInsideTick);
    QVERIFY2(box->text().startsWith(QStringLiteral("I/O error")) || box->text().startsWith(QStringLiteral("Disk")),
             qPrintable(box->text()));

    QSignalSpy polls(f.w->Poller, &QTimer::timeout);
    QSignalSpy periods(f.w->UserTimer, &QTimer::timeout);
    QVERIFY(polls.isValid() && periods.isValid());
    QTest::qWait(4000);
    QCOMPARE(openBox(), box);
    QVERIFY2(polls.size() >= 3, qPrintable(QString::number(polls.size())));
    QVERIFY(periods.size() >= 10);
    QVERIFY(f.w->S.FileWrite);
}

void TestPolling::startClickDuringTickWaitShowsBoxWithoutStoppingPolls()
{
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151"), QStringLiteral("--verbose")});
    QVERIFY(sim.ok());
    WindowFixture f;
    RealBoxes real(f.boxes);
    startPolling(f, sim);
    beginCapture(f, 2);
    // Start Poller again with a host text that fails the check, while a tick waits.
    duringNextTickWait(f, [&] {
        f.ui().HostAddress->setText(QStringLiteral("radio"));
        QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
    });
    QMessageBox* box = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((box = openBox()) != nullptr, 5000);
    QCOMPARE(box->text(), QStringLiteral("You must enter a valid IP address in the host window."));
    QCOMPARE(box->windowTitle(), ApplicationTitle());
    // Start Poller stopped the recording; the polls go on.
    const int polledBefore = sim.receivedCount("smh;");
    QTest::qWait(4000);
    QCOMPARE(openBox(), box);
    QVERIFY(sim.receivedCount("smh;") - polledBefore >= 3);
    QVERIFY(f.w->Poller->isActive());
    // The window takes no input while the box is open.
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    QVERIFY(QApplication::activeModalWidget() == box && box->isModal());
    QTest::keyClick(box, Qt::Key_Return);
    QTRY_VERIFY(!openBox());
    // The host box gets the focus once the box has been dismissed.
    QTRY_COMPARE(f.w->focusWidget(), f.ui().HostAddress);
}

QTEST_MAIN(TestPolling)
#include "TestPolling.moc"
