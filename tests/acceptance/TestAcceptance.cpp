#include "PollingFixture.h"
#include "ProgramWiring.h"
#include "ScratchWorkingDir.h"
#include "SessionEndWatcher.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <csignal>

// Whole sessions through the widgets, as a user runs the program against the
// simulator on loopback. Only the port box, which the user cannot edit, is
// set directly: the simulator listens on a free port, not on 9200.
class TestAcceptance : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void wholeSession();
    void radioDropsMidCapture();
#ifndef _WIN32
    // POSIX signals; Windows ends a session with messages (tests/windows).
    void endingSignalDuringCaptureLeavesCompleteFile_data();
    void endingSignalDuringCaptureLeavesCompleteFile();
    void ignoredHangUpKeepsRecording();
#endif
    // Ends the event loop, so it runs last.
    void checkpointKeepsRecordingUntilTheProgramEnds_data();
    void checkpointKeepsRecordingUntilTheProgramEnds();

private:
    static QStringList records(const QString& path, bool* complete = nullptr)
    {
        return CaptureFileLines(path, complete);
    }
    static void typeInto(QWidget* edit, const QString& text)
    {
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    // Start Poller and Begin Capture through the keyboard and the mouse.
    void startCapture(PollingFixture& f, const QString& suffix);
    // Wires the program's end handling to the window as main() does, then
    // startCapture, and waits until the capture file holds its first record.
    void captureUnderProgramEnd(PollingFixture& f, SessionEndWatcher& sessionEnd, const QString& suffix);

    std::unique_ptr<ScratchWorkingDir> m_dir;
    // Records must not depend on the machine's regional settings.
    FormatSettings::Override m_formats{FormatSettings{}};
};

void TestAcceptance::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestAcceptance::init()
{
    m_dir = std::make_unique<ScratchWorkingDir>();
}

void TestAcceptance::cleanup()
{
    m_dir.reset();
}

void TestAcceptance::startCapture(PollingFixture& f, const QString& suffix)
{
    QVERIFY(f.sim.ok());
    auto& ui = f.ui();
    typeInto(ui.HostAddress, QStringLiteral("127.0.0.1"));
    ui.PortAddress->setText(f.sim.portText());
    QTest::mouseClick(ui.bStartPoller, Qt::LeftButton);
    QCOMPARE(ui.LastNetRequestLabel->text(), QStringLiteral("Connected."));
    QCOMPARE(ui.OnLineLED->colour(), Led::LedColour::Lime);

    typeInto(ui.seHowLong, QStringLiteral("2"));
    typeInto(ui.Additionaldata, suffix);
    QTest::mouseClick(ui.bBeginCapture, Qt::LeftButton);
    QVERIFY(f.w->S.FileWrite);
    QCOMPARE(f.w->UserTimer->interval(), 2000);
}

void TestAcceptance::captureUnderProgramEnd(PollingFixture& f, SessionEndWatcher& sessionEnd, const QString& suffix)
{
    ConnectProgramEnd(*qApp, *f.w, sessionEnd);
    startCapture(f, suffix);
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(records(f.w->S.sFileName).size() >= 1, 10000);
}

void TestAcceptance::wholeSession()
{
    PollingFixture f({QStringLiteral("--seed"), QStringLiteral("7")}, false);
    auto& ui = f.ui();

    // As designed, before the window first becomes active.
    QCOMPARE(f.w->windowTitle(), QStringLiteral("Quorvel, by Orvane"));
    QCOMPARE(ui.OnLineLED->colour(), Led::LedColour::White);
    QCOMPARE(ui.lFileName->text(), QStringLiteral("Write file name here"));
    f.activate();
    QCOMPARE(f.w->windowTitle(), QStringLiteral("Quorvel, version 0.0.6.0, by Orvane"));
    QVERIFY(ui.lFileName->text().isEmpty());
    QTRY_COMPARE(QApplication::focusWidget(), ui.HostAddress);

    startCapture(f, QStringLiteral("accept"));
    QTRY_VERIFY_WITH_TIMEOUT(ui.SMeterBar->position() > 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(ui.lReturnedData->text().startsWith(QStringLiteral("SMH")), 5000);
    const QString path = f.w->S.sFileName;
    QVERIFY(path.endsWith(QStringLiteral("-accept.csv")));
    QTRY_VERIFY_WITH_TIMEOUT(records(path).size() >= 3, 15000);

    // Print the chart to a PDF file through the print dialog.
    const QString pdf = m_dir->filePath(QStringLiteral("chart.pdf"));
    f.boxes.printAccepted = true;
    f.boxes.configurePrinter = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    };
    QTest::mouseClick(ui.Button1, Qt::LeftButton);
    QFile printed(pdf);
    QVERIFY(printed.open(QIODevice::ReadOnly));
    QVERIFY(printed.read(5) == "%PDF-");
    QVERIFY(f.w->S.FileWrite);  // the dialog did not disturb the capture
    QVERIFY(ui.bEndCapture->isEnabled());

    QTest::mouseClick(ui.bEndCapture, Qt::LeftButton);
    QVERIFY(!f.w->S.FileWrite);
    QTest::mouseClick(ui.bStopPoller, Qt::LeftButton);
    QTRY_VERIFY(!f.w->S.bConnectionStatus);

    QSignalSpy terminate(f.w.get(), &Tfrm_framework::terminateRequested);
    f.boxes.confirmationAnswers = {BoxResult::Yes};
    QVERIFY(f.w->close());
    QCOMPARE(terminate.size(), 1);

    bool complete = false;
    const QStringList got = records(path, &complete);
    QVERIFY(complete);
    QVERIFY(got.size() >= 3);
    static const QRegularExpression record(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,\\d+,-?\\d+$"));
    for (const QString& line : got)
        QVERIFY2(record.match(line).hasMatch(), qPrintable(line));
    QCOMPARE(ui.lWrittenData->text(), got.last());
    QVERIFY(f.boxes.texts(QStringLiteral("error")).isEmpty());
    QVERIFY(f.boxes.texts(QStringLiteral("warning")).isEmpty());
}

void TestAcceptance::radioDropsMidCapture()
{
    PollingFixture f(
        {QStringLiteral("--fixed-smh"), QStringLiteral("151"), QStringLiteral("--close-after"), QStringLiteral("9")});
    startCapture(f, QStringLiteral("drop"));
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->S.bConnectionStatus, 15000);
    QTest::qWait(2500);
    for (Led* led : {f.ui().OnLineLED, f.ui().DataLED})
        QCOMPARE(led->colour(), Led::LedColour::Red);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    bool complete = false;
    const QStringList got = records(f.w->S.sFileName, &complete);
    QVERIFY(complete);
    // Field 3 is the last single reading ("180" when the tick before the
    // record heard nothing); the level comes only from real readings.
    static const QRegularExpression record(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,(151|180),123$"));
    for (const QString& line : got)
        QVERIFY2(record.match(line).hasMatch(), qPrintable(line));
    QVERIFY(f.boxes.shown.isEmpty());
}

#ifndef _WIN32
void TestAcceptance::endingSignalDuringCaptureLeavesCompleteFile_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestAcceptance::endingSignalDuringCaptureLeavesCompleteFile()
{
    QFETCH(int, signal);
    PollingFixture f({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    // As a program started from a terminal gets it, whatever ran this test.
    std::signal(signal, SIG_DFL);
    SessionEndWatcher sessionEnd;
    QSignalSpy ending(&sessionEnd, &SessionEndWatcher::sessionEnding);
    captureUnderProgramEnd(f, sessionEnd, QStringLiteral("term"));
    const QString path = f.w->S.sFileName;
    std::raise(signal);
    QTRY_COMPARE(ending.size(), 1);
    QVERIFY(!f.w->S.FileWrite);
    QVERIFY(!f.w->S.txt.IsOpen());
    bool complete = false;
    const QStringList got = records(path, &complete);
    QVERIFY(complete);
    QVERIFY(!got.isEmpty());
}

void TestAcceptance::ignoredHangUpKeepsRecording()
{
    // Started under nohup: closing the terminal must not end the capture.
    PollingFixture f({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    std::signal(SIGHUP, SIG_IGN);
    const auto restore = qScopeGuard([] { std::signal(SIGHUP, SIG_DFL); });
    SessionEndWatcher sessionEnd;
    QSignalSpy ending(&sessionEnd, &SessionEndWatcher::sessionEnding);
    captureUnderProgramEnd(f, sessionEnd, QStringLiteral("nohup"));
    const QString path = f.w->S.sFileName;
    std::raise(SIGHUP);
    const qsizetype before = records(path).size();
    QTRY_VERIFY_WITH_TIMEOUT(records(path).size() > before, 10000);
    QCOMPARE(ending.size(), 0);
    QVERIFY(f.w->S.FileWrite);
}
#endif

namespace {

// A session manager's request to save, answered the way a test decides.
struct FakeSessionCommit : SessionCommit {
    bool interaction = true;
    int releases = 0;
    int cancels = 0;
    bool allowsInteraction() override { return interaction; }
    void release() override { ++releases; }
    void cancel() override { ++cancels; }
};

}  // namespace

void TestAcceptance::checkpointKeepsRecordingUntilTheProgramEnds_data()
{
    QTest::addColumn<bool>("interaction");
    QTest::addColumn<QList<BoxResult>>("answers");
    QTest::addColumn<int>("cancels");
    QTest::newRow("checkpoint, no questions") << false << QList<BoxResult>{} << 0;
    QTest::newRow("log-off confirmed") << true << QList<BoxResult>{BoxResult::Yes} << 0;
    QTest::newRow("log-off refused") << true << QList<BoxResult>{BoxResult::No} << 1;
}

void TestAcceptance::checkpointKeepsRecordingUntilTheProgramEnds()
{
    QFETCH(bool, interaction);
    QFETCH(QList<BoxResult>, answers);
    QFETCH(int, cancels);
    PollingFixture f({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    SessionEndWatcher sessionEnd;
    captureUnderProgramEnd(f, sessionEnd, QStringLiteral("ckpt"));
    const QString path = f.w->S.sFileName;

    // The session manager asks to save; a checkpoint, or a log-off that is
    // refused or later cancelled, leaves the program running and recording.
    f.boxes.confirmationAnswers = answers;
    FakeSessionCommit commit;
    commit.interaction = interaction;
    CommitSessionData(*f.w, commit);
    QCOMPARE(commit.releases, interaction ? 1 : 0);
    QCOMPARE(commit.cancels, cancels);
    QVERIFY(f.w->S.FileWrite);
    QVERIFY(f.w->S.txt.IsOpen());
    const qsizetype before = records(path).size();
    QTRY_VERIFY_WITH_TIMEOUT(records(path).size() > before, 10000);

    // When the session really ends, the event loop ends without the
    // shutdown sequence: the capture is closed then, and holds every record.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!f.w->S.FileWrite);
    QVERIFY(!f.w->S.txt.IsOpen());
    bool complete = false;
    QVERIFY(records(path, &complete).size() > before);
    QVERIFY(complete);
}

QTEST_MAIN(TestAcceptance)
#include "TestAcceptance.moc"
