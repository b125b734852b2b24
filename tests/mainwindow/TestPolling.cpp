#include "PollingFixture.h"
#include "ScratchWorkingDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QScopeGuard>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Counts the closes of a file that had been open for writing, as the kernel
// reports them: what the program did to the file, not what it believes.
class FileCloseWatch {
public:
    explicit FileCloseWatch(const QString& path) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0)
            m_wd = ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_CLOSE_WRITE);
    }
    ~FileCloseWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileCloseWatch(const FileCloseWatch&) = delete;
    FileCloseWatch& operator=(const FileCloseWatch&) = delete;

    bool ok() const { return m_fd >= 0 && m_wd >= 0; }
    // Closes reported so far.
    int closes()
    {
        alignas(inotify_event) char buf[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buf, sizeof buf)) > 0) {
            for (char* p = buf; p < buf + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->mask & IN_CLOSE_WRITE)
                    ++m_closes;
                p += sizeof(inotify_event) + e->len;
            }
        }
        return m_closes;
    }

private:
    int m_fd = -1;
    int m_wd = -1;
    int m_closes = 0;
};

// A radio that answers every poll alike: bar 12, high resolution 151.
const QStringList kSteadyRadio{QStringLiteral("--fixed-sm"), QStringLiteral("12"), QStringLiteral("--fixed-smh"),
                               QStringLiteral("151")};
// The capture file name suffix of every capture here.
const QString kSuffix = QStringLiteral("e2e");

}  // namespace

// Polling and recording through the window against the bundled simulator.
class TestPolling : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pollAndCaptureThreeRecords();
    void silentRadioRecordsNothing();
    void noisyRadioStillGivesRealReadings_data();
    void noisyRadioStillGivesRealReadings();
    void radioClosingMidCaptureLeavesConsistentFile();
    void stopPollerDuringTickWaitDisconnectsWhenTickEnds_data();
    void stopPollerDuringTickWaitDisconnectsWhenTickEnds();
    void stopPollerRightAfterStartDisconnects();
    void stopThenStartUsesNewHost_data();
    void stopThenStartUsesNewHost();
    void closeDuringTickWaitRunsShutdownInsideIt();
    void collectionLabelsFollowEachTick();
    void sumsRestartPast3600Samples();
    void stopPollerDuringCaptureClosesFileThenDisconnects_data();
    void stopPollerDuringCaptureClosesFileThenDisconnects();
    void errorBoxHoldsUpNeitherTimer();
    void writeErrorDuringTickWaitHoldsUpNeitherTimer();
    void startClickDuringTickWaitShowsBoxWithoutStoppingPolls();
    void everNewBadRepliesQueueBoundedBoxes();

private:
    static QStringList lines(const QString& path) { return WholeCaptureFileLines(path); }

    // Runs action once, from inside the cooperative wait of the next poll tick.
    void duringNextTickWait(WindowFixture& f, std::function<void()> action)
    {
        auto* watch = new QTimer(f.w.get());
        watch->setInterval(5);
        connect(watch, &QTimer::timeout, f.w.get(), [watch, &f, action] {
            if (f.w->S.polleractive()) {
                watch->stop();
                watch->deleteLater();
                action();
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(!f.w->S.polleractive(), 3000);
        watch->start();
    }

    // Records how many closes of the capture file the kernel had reported
    // when the link started to disconnect; restored when the guard goes.
    auto watchClosesAtDisconnect(WindowFixture& f, FileCloseWatch& watch, int& closes)
    {
        const QMetaObject::Connection watching
            = connect(&f.w->link(), &RadioLink::status, f.w.get(), [&watch, &closes](TIdStatus, const QString& text) {
                  if (text == QLatin1String("Disconnecting.") && closes < 0)
                      closes = watch.closes();
              });
        return qScopeGuard([watching] { QObject::disconnect(watching); });
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
    PollingFixture f(kSteadyRadio);
    QVERIFY(f.startPolling());
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().SMeterBarCount->text(), QStringLiteral("0012"), 5000);
    QCOMPARE(f.ui().SMeterBar->position(), 12);
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().lReturnedData->text(), QStringLiteral("SMH151;"), 5000);
    QVERIFY(f.ui().Label6->text().contains(QRegularExpression(QStringLiteral("^\\d{6}-\\d{6}$"))));

    QVERIFY(f.beginCapture(2, kSuffix));
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
    PollingFixture f({QStringLiteral("--silent")});
    QVERIFY(f.startPolling());
    QVERIFY(f.beginCapture(2, kSuffix));
    QTest::qWait(5000);
    // No reading, no record: a silent radio must not log plausible levels.
    QCOMPARE(QFileInfo(f.w->S.sFileName).size(), 0);
    QCOMPARE(f.w->chart()->Count(), 0);
    QCOMPARE(f.ui().SMeterBarCount->text(), QStringLiteral("180"));
    QCOMPARE(f.ui().SMeterBar->position(), 180);
    QCOMPARE(f.w->S.sNewSMH, QStringLiteral("180"));
}

void TestPolling::noisyRadioStillGivesRealReadings_data()
{
    QTest::addColumn<QStringList>("noise");
    QTest::addColumn<bool>("barKept");
    // Junk bytes before and after the replies, some of it ended by ";".
    QTest::newRow("garbage") << QStringList{QStringLiteral("--garbage")} << false;
    QTest::newRow("garbage, split replies")
        << QStringList{QStringLiteral("--garbage"), QStringLiteral("--split")} << false;
    // Lines of text streamed between and around the replies, far longer in
    // all than any reply.
    QTest::newRow("flood") << QStringList{QStringLiteral("--flood-mibps"), QStringLiteral("1")} << true;
    QTest::newRow("high bytes, joined") << QStringList{QStringLiteral("--high-bytes"), QStringLiteral("--joined")}
                                        << true;
}

void TestPolling::noisyRadioStillGivesRealReadings()
{
    QFETCH(QStringList, noise);
    QFETCH(bool, barKept);
    PollingFixture f(QStringList{QStringLiteral("--seed"), QStringLiteral("7")} + kSteadyRadio + noise);
    QVERIFY(f.startPolling());
    QVERIFY(f.beginCapture(2, kSuffix));
    const QString path = f.w->S.sFileName;
    QTRY_VERIFY_WITH_TIMEOUT(lines(path).size() >= 3, 20000);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    // Every record holds the radio's reading, never noise or digits of it
    // glued to the reading.
    static const QRegularExpression record(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,(151|180),123$"));
    const QStringList got = lines(path);
    QVERIFY(got.size() >= 3);
    for (const QString& line : got)
        QVERIFY2(record.match(line).hasMatch(), qPrintable(line));
    if (barKept)
        QCOMPARE(f.ui().SMeterBarCount->text(), QStringLiteral("0012"));
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestPolling::radioClosingMidCaptureLeavesConsistentFile()
{
    PollingFixture f(
        {QStringLiteral("--fixed-smh"), QStringLiteral("151"), QStringLiteral("--close-after"), QStringLiteral("10")});
    QVERIFY(f.startPolling());
    QVERIFY(f.beginCapture(2, kSuffix));
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->S.bConnectionStatus, 15000);
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Red);
    // The radio stays away; the window's retries find nobody.
    f.sim.stop();
    QTest::qWait(4500);
    const QStringList got = lines(f.w->S.sFileName);
    // The level comes from real readings only; field 3 is the last single
    // reading, "180" when the tick before the record heard nothing.
    static const QRegularExpression record(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,(151|180),123$"));
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
    PollingFixture f;
    QVERIFY(f.startPolling());
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
            clickedInsideTick = f.w->S.polleractive();
            QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
            // The link is not cut in the middle of the tick.
            QVERIFY(f.w->link().Connected());
        });
        at->start();
    });
    QTRY_VERIFY_WITH_TIMEOUT(clickedInsideTick, 5000);
    // Carried out as soon as the tick has ended.
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->link().Connected(), 1000);
    QVERIFY(!f.w->S.polleractive());
    QVERIFY(!f.w->S.bConnectionStatus);
    QVERIFY(!f.w->Poller->isActive());
    for (Led* led : {f.ui().OnLineLED, f.ui().DataLED, f.ui().PollerLED})
        QCOMPARE(led->colour(), Led::LedColour::Red);
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestPolling::stopPollerRightAfterStartDisconnects()
{
    PollingFixture f;
    QVERIFY(f.startPolling());
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

void TestPolling::stopThenStartUsesNewHost_data()
{
    QTest::addColumn<bool>("insideOneTick");
    QTest::newRow("Stop in a tick, Start after it") << false;
    QTest::newRow("Stop, new port and Start in one tick") << true;
}

void TestPolling::stopThenStartUsesNewHost()
{
    QFETCH(bool, insideOneTick);
    K4SimProcess second({QStringLiteral("--fixed-smh"), QStringLiteral("222")});
    QVERIFY(second.ok());
    PollingFixture f({QStringLiteral("--fixed-smh"), QStringLiteral("111")});
    QVERIFY(f.startPolling());
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().lReturnedData->text(), QStringLiteral("SMH111;"), 5000);
    if (insideOneTick) {
        // Stop, the other radio's port and Start, all before the tick has ended.
        bool startedInsideTick = false;
        duringNextTickWait(f, [&] {
            QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
            f.aimAt(second.port());
            QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
            startedInsideTick = f.w->S.polleractive();
        });
        QTRY_VERIFY_WITH_TIMEOUT(startedInsideTick, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(f.ui().LastPortlabel->text(), second.portText(), 5000);
        QTRY_VERIFY(f.w->S.bConnectionStatus && f.w->Poller->isActive());
    } else {
        // Stop in the middle of a tick, then at once the other radio.
        duringNextTickWait(f, [&] { QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton); });
        QTRY_VERIFY_WITH_TIMEOUT(!f.w->S.bConnectionStatus, 5000);
        QVERIFY(f.startPolling(second));
    }
    QVERIFY(f.beginCapture(2, kSuffix));
    QCOMPARE(f.ui().LastPortlabel->text(), second.portText());
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().lReturnedData->text(), QStringLiteral("SMH222;"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!lines(f.w->S.sFileName).isEmpty(), 10000);
    QVERIFY(lines(f.w->S.sFileName).first().endsWith(QStringLiteral(",222,52")));
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestPolling::closeDuringTickWaitRunsShutdownInsideIt()
{
    PollingFixture f;
    QVERIFY(f.startPolling());
    bool insideTick = false;
    QSignalSpy terminate(f.w.get(), &Tfrm_framework::terminateRequested);
    connect(f.w.get(), &Tfrm_framework::terminateRequested, f.w.get(), [&] { insideTick = f.w->S.polleractive(); });
    duringNextTickWait(f, [&] { f.w->close(); });
    QTRY_COMPARE_WITH_TIMEOUT(terminate.size(), 1, 5000);
    QVERIFY(insideTick);
    // The interrupted tick finishes, then polling has stopped.
    QTRY_VERIFY(!f.w->S.polleractive());
    QVERIFY(!f.w->Poller->isActive());
    QCOMPARE(terminate.size(), 1);
    QCOMPARE(f.boxes.texts(QStringLiteral("confirmation")).size(), 1);
}

void TestPolling::collectionLabelsFollowEachTick()
{
    PollingFixture f(kSteadyRadio);
    QVERIFY(f.startPolling());
    // A period far longer than the test: only the poll ticks touch the sums.
    QVERIFY(f.beginCapture(3600, kSuffix));
    auto& ui = f.ui();
    QTRY_COMPARE_WITH_TIMEOUT(ui.lAverageCount->text(), QStringLiteral("2"), 8000);
    QCOMPARE(ui.lAccumulatorTotal->text(), QStringLiteral("302"));
    QCOMPARE(ui.lRunningAverage->text(), QStringLiteral("151"));
    QCOMPARE(ui.lNextReset->text(), QStringLiteral("3598"));

    // The user shortens the period below the samples already taken.
    ui.seHowLong->setText(QStringLiteral("2"));
    QTRY_VERIFY_WITH_TIMEOUT(ui.lAverageCount->text().toInt() >= 4, 8000);
    const int count = ui.lAverageCount->text().toInt();
    QCOMPARE(ui.lNextReset->text(), QString::number(2 - count));
    QVERIFY(ui.lNextReset->text().startsWith(QLatin1Char('-')));
    QCOMPARE(ui.lAccumulatorTotal->text(), QString::number(151 * count));
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestPolling::sumsRestartPast3600Samples()
{
    PollingFixture f(kSteadyRadio);
    QVERIFY(f.startPolling());
    QVERIFY(f.beginCapture(3600, kSuffix));
    auto& ui = f.ui();
    QTRY_COMPARE_WITH_TIMEOUT(ui.lAverageCount->text(), QStringLiteral("1"), 8000);
    // An hour of samples, as if the period had run that long between ticks.
    f.w->S.AverageCount = 3600;
    f.w->S.AverageRunningTotal = 3600 * 151.0;
    // The 3601st sample is still added to the same sums ...
    QTRY_COMPARE_WITH_TIMEOUT(ui.lAverageCount->text(), QStringLiteral("3601"), 8000);
    QCOMPARE(ui.lAccumulatorTotal->text(), QStringLiteral("543751"));
    QCOMPARE(ui.lRunningAverage->text(), QStringLiteral("151"));
    QCOMPARE(ui.lNextReset->text(), QStringLiteral("-1"));
    // ... and the next tick starts them again before adding its own.
    QTRY_COMPARE_WITH_TIMEOUT(ui.lAverageCount->text(), QStringLiteral("1"), 8000);
    QCOMPARE(ui.lAccumulatorTotal->text(), QStringLiteral("151"));
    QCOMPARE(ui.lRunningAverage->text(), QStringLiteral("151"));
    QCOMPARE(ui.lNextReset->text(), QStringLiteral("3599"));
}

void TestPolling::stopPollerDuringCaptureClosesFileThenDisconnects_data()
{
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("Stop Poller") << false;
    QTest::newRow("window closed") << true;
}

void TestPolling::stopPollerDuringCaptureClosesFileThenDisconnects()
{
    QFETCH(bool, closeWindow);
    PollingFixture f(kSteadyRadio);
    QVERIFY(f.startPolling());
    QVERIFY(f.beginCapture(2, kSuffix));
    const QString path = f.w->S.sFileName;
    QTRY_VERIFY_WITH_TIMEOUT(lines(path).size() >= 1, 8000);

    FileCloseWatch watch(path);
    QVERIFY(watch.ok());
    int closesAtDisconnect = -1;
    const auto restore = watchClosesAtDisconnect(f, watch, closesAtDisconnect);
    QSignalSpy terminate(f.w.get(), &Tfrm_framework::terminateRequested);

    if (closeWindow)
        QVERIFY(f.w->close());
    else
        QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);

    QTRY_VERIFY(!f.w->S.bConnectionStatus);
    QVERIFY(!f.w->link().Connected());
    // The file was closed before the link began to go down, and only once.
    QCOMPARE(closesAtDisconnect, 1);
    QCOMPARE(watch.closes(), 1);
    QCOMPARE(terminate.size(), closeWindow ? 1 : 0);
    QVERIFY(!f.w->S.FileWrite);

    // Ticks that were due and the window's end close nothing more.
    QTest::qWait(1200);
    f.w.reset();
    QCOMPARE(watch.closes(), 1);
    bool complete = false;
    QVERIFY(!CaptureFileLines(path, &complete).isEmpty());
    QVERIFY(complete);
    QCOMPARE(f.boxes.texts(QStringLiteral("error")), QStringList());
}

void TestPolling::errorBoxHoldsUpNeitherTimer()
{
    // The fourth bar reply holds more digits than an integer: that tick fails
    // and its error box stays open while nobody answers it.
    PollingFixture f(kSteadyRadio
                     + QStringList{QStringLiteral("--bad-sm-at"), QStringLiteral("4"), QStringLiteral("--verbose")});
    RealBoxes real(f.boxes);
    QVERIFY(f.startPolling());
    QVERIFY(f.beginCapture(2, kSuffix));
    const QString path = f.w->S.sFileName;
    QMessageBox* box = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((box = openBox()) != nullptr, 10000);
    QCOMPARE(box->text(), QStringLiteral("'99999999999' is not a valid integer value."));
    QCOMPARE(box->windowTitle(), ApplicationTitle());
    QCOMPARE(box->icon(), QMessageBox::Critical);

    const int polledBefore = f.sim.receivedCount("sm;");
    const qsizetype recordsBefore = lines(path).size();
    QTest::qWait(6000);
    QCOMPARE(openBox(), box);
    QVERIFY2(f.sim.receivedCount("sm;") - polledBefore >= 5, "the radio is still polled every second");
    QVERIFY2(lines(path).size() - recordsBefore >= 2, "the capture still gains a record every period");
    QCOMPARE(f.ui().SMeterBarCount->text(), QStringLiteral("0012"));

    QTest::keyClick(box, Qt::Key_Return);
    QTRY_VERIFY(!openBox());
}

void TestPolling::writeErrorDuringTickWaitHoldsUpNeitherTimer()
{
    PollingFixture f({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    RealBoxes real(f.boxes);
    QVERIFY(f.startPolling());
    QVERIFY(f.beginCapture(2, kSuffix));
    // From now on every record meets a full disk.
    f.w->S.txt.Close();
    f.w->S.txt.Assign(QStringLiteral("/dev/full"));
    f.w->S.txt.Append();
    // Held back until a poll tick waits, with readings to record by then.
    f.w->UserTimer->stop();
    QTRY_VERIFY_WITH_TIMEOUT(f.w->S.AverageCount > 0, 5000);
    // The integration ticks come due while a poll tick waits for the radio;
    // the writer thread's failure reaches the window wherever its event loop
    // runs then, inside a tick's wait or between ticks.
    duringNextTickWait(f, [&] { f.w->UserTimer->start(200); });
    QMessageBox* box = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((box = openBox()) != nullptr, 5000);
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
    PollingFixture f({QStringLiteral("--fixed-smh"), QStringLiteral("151"), QStringLiteral("--verbose")});
    RealBoxes real(f.boxes);
    QVERIFY(f.startPolling());
    QVERIFY(f.beginCapture(2, kSuffix));
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
    const int polledBefore = f.sim.receivedCount("smh;");
    QTest::qWait(4000);
    QCOMPARE(openBox(), box);
    QVERIFY(f.sim.receivedCount("smh;") - polledBefore >= 3);
    QVERIFY(f.w->Poller->isActive());
    // The window takes no input while the box is open.
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    QVERIFY(QApplication::activeModalWidget() == box && box->isModal());
    QTest::keyClick(box, Qt::Key_Return);
    QTRY_VERIFY(!openBox());
    // The host box gets the focus once the box has been dismissed.
    QTRY_COMPARE(f.w->focusWidget(), f.ui().HostAddress);
}

void TestPolling::everNewBadRepliesQueueBoundedBoxes()
{
    // A radio on loopback answers every "sm;" with a bar reading no integer
    // holds, a different one each time, while nobody answers the boxes: the
    // window keeps 16 error boxes open or waiting and drops the rest.
    QTcpServer radio;
    QVERIFY(radio.listen(QHostAddress::LocalHost));
    qint64 next = 100000000000;
    std::unique_ptr<QTcpSocket> peer;
    connect(&radio, &QTcpServer::newConnection, this, [&] {
        peer.reset(radio.nextPendingConnection());
        connect(peer.get(), &QTcpSocket::readyRead, this, [&] {
            const QByteArray got = peer->readAll();
            for (qsizetype i = got.count("sm;"); i > 0; --i)
                peer->write("SM" + QByteArray::number(next++) + ";");
        });
    });
    WindowFixture f;
    f.boxes.holdOpen = true;
    f.aimAt(radio.serverPort());
    QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
    QVERIFY(f.w->S.bConnectionStatus);
    QTRY_VERIFY_WITH_TIMEOUT(next >= 100000000000 + 20, 30000);
    QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    QTRY_VERIFY(!f.w->S.bConnectionStatus);

    QStringList expected;
    for (qint64 v = 100000000000; v < 100000000000 + 16; ++v)
        expected << QStringLiteral("'%1' is not a valid integer value.").arg(v);
    while (f.boxes.answer()) {
    }
    QCOMPARE(f.boxes.texts(QStringLiteral("error")), expected);
    // With the queue empty again, a new text gets its box.
    f.w->showStandardError(QStringLiteral("Later."));
    QCOMPARE(f.boxes.texts(QStringLiteral("error")).size(), 17);
}

QTEST_MAIN(TestPolling)
#include "TestPolling.moc"
