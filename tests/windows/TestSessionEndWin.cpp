// The end of a Windows session as the system announces it: WM_QUERYENDSESSION
// only asks, WM_ENDSESSION with a nonzero wParam ends it, and the watcher
// says so once, while the message is being handled. A log-off during a
// capture leaves the file closed with complete records only.
#include "FormatSettings.h"
#include "K4SimProcess.h"
#include "ProgramWiring.h"
#include "ScratchWorkingDir.h"
#include "SessionEndWatcher.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <windows.h>

class TestSessionEndWin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void endSessionIsReportedOnceWhileHandled();
    void logOffDuringCaptureLeavesCompleteFile();

private:
    static void typeInto(QWidget* edit, const QString& text)
    {
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
};

void TestSessionEndWin::endSessionIsReportedOnceWhileHandled()
{
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const HWND hwnd = reinterpret_cast<HWND>(window.winId());

    SessionEndWatcher watcher;
    QSignalSpy ending(&watcher, &SessionEndWatcher::sessionEnding);

    // Asked, and a log-off that was called off: the session goes on.
    ::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    ::SendMessageW(hwnd, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    QCOMPARE(ending.count(), 0);

    // SendMessage returns only after the handling: the signal came within it.
    ::SendMessageW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    QCOMPARE(ending.count(), 1);
    // Every top-level window gets the message; the session ends once.
    QWidget other;
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    ::SendMessageW(reinterpret_cast<HWND>(other.winId()), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    QCOMPARE(ending.count(), 1);
}

void TestSessionEndWin::logOffDuringCaptureLeavesCompleteFile()
{
    ScratchWorkingDir dir;
    FormatSettings::Override formats{FormatSettings{}};
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    QVERIFY(sim.ok());
    WindowFixture f;
    SessionEndWatcher sessionEnd;
    ConnectProgramEnd(*qApp, *f.w, sessionEnd);
    QSignalSpy ending(&sessionEnd, &SessionEndWatcher::sessionEnding);

    auto& ui = f.ui();
    typeInto(ui.HostAddress, QStringLiteral("127.0.0.1"));
    ui.PortAddress->setText(sim.portText());
    QTest::mouseClick(ui.bStartPoller, Qt::LeftButton);
    QCOMPARE(ui.LastNetRequestLabel->text(), QStringLiteral("Connected."));
    typeInto(ui.seHowLong, QStringLiteral("2"));
    typeInto(ui.Additionaldata, QStringLiteral("logoff"));
    QTest::mouseClick(ui.bBeginCapture, Qt::LeftButton);
    QVERIFY(f.w->S.FileWrite);
    const QString path = f.w->S.sFileName;
    QTRY_VERIFY_WITH_TIMEOUT(CaptureFileLines(path).size() >= 1, 10000);

    // What Windows sends every top-level window when the log-off goes ahead.
    const HWND hwnd = reinterpret_cast<HWND>(f.w->winId());
    ::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    ::SendMessageW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    // Done before the message returned: the system may end the process then.
    QCOMPARE(ending.size(), 1);
    QVERIFY(!f.w->S.FileWrite);
    QVERIFY(!f.w->S.txt.IsOpen());
    bool complete = false;
    const QStringList got = CaptureFileLines(path, &complete);
    QVERIFY(complete);
    QVERIFY(!got.isEmpty());
    static const QRegularExpression record(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,(151|180),123$"));
    for (const QString& line : got)
        QVERIFY2(record.match(line).hasMatch(), qPrintable(line));
}

QTEST_MAIN(TestSessionEndWin)
#include "TestSessionEndWin.moc"
