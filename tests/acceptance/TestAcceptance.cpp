#include "K4SimProcess.h"
#include "ProgramWiring.h"
#include "ScratchWorkingDir.h"
#include "SessionEndWatcher.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
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
    void sigtermDuringCaptureLeavesCompleteFile();

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
    void startCapture(WindowFixture& f, const K4SimProcess& sim, const QString& suffix);

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

void TestAcceptance::startCapture(WindowFixture& f, const K4SimProcess& sim, const QString& suffix)
{
    auto& ui = f.ui();
    typeInto(ui.HostAddress, QStringLiteral("127.0.0.1"));
    ui.PortAddress->setText(sim.portText());
    QTest::mouseClick(ui.bStartPoller, Qt::LeftButton);
    QCOMPARE(ui.LastNetRequestLabel->text(), QStringLiteral("Connected."));
    QCOMPARE(ui.OnLineLED->colour(), Led::LedColour::Lime);

    typeInto(ui.seHowLong, QStringLiteral("2"));
    typeInto(ui.Additionaldata, suffix);
    QTest::mouseClick(ui.bBeginCapture, Qt::LeftButton);
    QVERIFY(f.w->S.FileWrite);
    QCOMPARE(f.w->UserTimer->interval(), 2000);
}

void TestAcceptance::wholeSession()
{
    K4SimProcess sim({QStringLiteral("--seed"), QStringLiteral("7")});
    QVERIFY(sim.ok());
    WindowFixture f(false);
    auto& ui = f.ui();

    // As designed, before the window first becomes active.
    QCOMPARE(f.w->windowTitle(), QStringLiteral("Quorvel, by Orvane"));
    QCOMPARE(ui.OnLineLED->colour(), Led::LedColour::White);
    QCOMPARE(ui.lFileName->text(), QStringLiteral("Write file name here"));
    f.activate();
    QCOMPARE(f.w->windowTitle(), QStringLiteral("Quorvel, version 0.0.6.0, by Orvane"));
    QVERIFY(ui.lFileName->text().isEmpty());
    QTRY_COMPARE(QApplication::focusWidget(), ui.HostAddress);

    startCapture(f, sim, QStringLiteral("accept"));
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
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151"), QStringLiteral("--close-after"),
                      QStringLiteral("9")});
    QVERIFY(sim.ok());
    WindowFixture f;
    startCapture(f, sim, QStringLiteral("drop"));
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
    static const QRegularExpression record(
        QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,(151|180),123$"));
    for (const QString& line : got)
        QVERIFY2(record.match(line).hasMatch(), qPrintable(line));
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestAcceptance::sigtermDuringCaptureLeavesCompleteFile()
{
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    QVERIFY(sim.ok());
    WindowFixture f;
    SessionEndWatcher sessionEnd;
    ConnectProgramEnd(*qApp, *f.w, sessionEnd);
    QSignalSpy ending(&sessionEnd, &SessionEndWatcher::sessionEnding);
    startCapture(f, sim, QStringLiteral("term"));
    const QString path = f.w->S.sFileName;
    QTRY_VERIFY_WITH_TIMEOUT(records(path).size() >= 1, 10000);
    std::raise(SIGTERM);
    QTRY_COMPARE(ending.size(), 1);
    QVERIFY(!f.w->S.FileWrite);
    QVERIFY(!f.w->S.txt.IsOpen());
    bool complete = false;
    const QStringList got = records(path, &complete);
    QVERIFY(complete);
    QVERIFY(!got.isEmpty());
}

QTEST_MAIN(TestAcceptance)
#include "TestAcceptance.moc"
