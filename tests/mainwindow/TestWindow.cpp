#include "InkColumns.h"
#include "WindowFixture.h"

#include "MessageBoxes.h"
#include "ProgramErrors.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void designStateBeforeActivation();
    void meterScalesSpanTheirDesignWidth_data();
    void meterScalesSpanTheirDesignWidth();
    void activationSetsStartingStateOnce();
    void ipTest_data();
    void ipTest();
    void connectFailureText();
    void closeQuery_data();
    void closeQuery();
    void realConfirmationBox_data();
    void realConfirmationBox();
    void closeRunsShutdownOnceAndEndsProgram();
    void repeatedErrorsShowOneBoxAtATime();
    void boxesWaitTheirTurn();
    void boxTitles();
    void startPollerWithInvalidHost();
    void stopPollerWhileDisconnected();
    void endCaptureWithoutFile();
};

void TestWindow::designStateBeforeActivation()
{
    WindowFixture f(false);
    auto& ui = f.ui();
    QCOMPARE(f.w->windowTitle(), QStringLiteral("Quorvel, by Orvane"));
    QCOMPARE(f.w->size(), QSize(1013, 485));
    QCOMPARE(f.w->minimumSize(), f.w->maximumSize());
    QVERIFY(!(f.w->windowFlags() & Qt::WindowMaximizeButtonHint));
    for (Led* led : {ui.OnLineLED, ui.DataLED, ui.PollerLED})
        QCOMPARE(led->colour(), Led::LedColour::White);
    QVERIFY(ui.bBeginCapture->isEnabled());
    QVERIFY(ui.bEndCapture->isEnabled());
    QVERIFY(!ui.PortAddress->isEnabled());
    QCOMPARE(ui.PortAddress->text(), QStringLiteral("9200"));
    QCOMPARE(ui.lAverage->text(), QStringLiteral("lAverage"));
    QCOMPARE(ui.lNextReset->text(), QStringLiteral("lNextReset"));
    QCOMPARE(ui.Additionaldata->placeholderText(), QStringLiteral("Additional naming data"));
    QCOMPARE(ui.seHowLong->value(), 15);
    for (QLabel* heading : {ui.Label1, ui.Label14, ui.Label21})
        QVERIFY(QFontInfo(heading->font()).bold());
    QVERIFY(!QFontInfo(ui.Label9->font()).bold());
    QCOMPARE(QFontInfo(ui.Label2->font()).pixelSize(), 11);
    QCOMPARE(ui.Label23->text().size(), 116);
    QCOMPARE(ui.Label7->text().size(), 119);
    QCOMPARE(ui.chtFastLine1->geometry(), QRect(8, 231, 1004, 250));
    QCOMPARE(ui.Panel4->geometry(), QRect(620, 8, 214, 217));
    QVERIFY(!f.w->Poller->isActive());
    QVERIFY(f.w->UserTimer->isActive());
    QCOMPARE(f.w->UserTimer->interval(), 1000);
    QCOMPARE(f.w->Poller->timerType(), Qt::PreciseTimer);
    // The design's tab order, panel by panel.
    const QList<QWidget*> expected{ui.bStartPoller,  ui.bStopPoller, ui.PortAddress,   ui.HostAddress,
                                   ui.lReturnedData, ui.SMeterBar,   ui.bBeginCapture, ui.bEndCapture,
                                   ui.Button1,       ui.seHowLong,   ui.Additionaldata};
    QList<QWidget*> chain;
    QWidget* w = ui.bStartPoller;
    do {
        if (expected.contains(w) && !chain.contains(w))
            chain.append(w);
        w = w->nextInFocusChain();
    } while (w != ui.bStartPoller);
    QCOMPARE(chain, expected);
}

void TestWindow::meterScalesSpanTheirDesignWidth_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("designWidth");
    QTest::newRow("Label23") << QStringLiteral("Label23") << 442;
    QTest::newRow("Label7") << QStringLiteral("Label7") << 451;
}

void TestWindow::meterScalesSpanTheirDesignWidth()
{
    QFETCH(QString, name);
    QFETCH(int, designWidth);
    WindowFixture f;
    auto* scale = f.w->findChild<QLabel*>(name);
    QVERIFY(scale);
    QCOMPARE(scale->width(), designWidth);
    // From the first to the last column the caption inks, in the window's font.
    const auto [first, last] = InkColumns(scale->grab().toImage());
    QVERIFY(first >= 0);
    const int rendered = last - first + 1;
    QVERIFY2(std::abs(rendered - designWidth) <= 2,
             qPrintable(QStringLiteral("%1 px drawn, %2 designed").arg(rendered).arg(designWidth)));
    // The scale starts where the design puts it over and under the bar.
    QCOMPARE(scale->x(), name == QLatin1String("Label23") ? 57 : 61);
}

void TestWindow::activationSetsStartingStateOnce()
{
    WindowFixture f;
    auto& ui = f.ui();
    QCOMPARE(f.w->windowTitle(), QStringLiteral("Quorvel, version 0.0.6.0, by Orvane"));
    QVERIFY(!ui.bBeginCapture->isEnabled());
    QVERIFY(!ui.bEndCapture->isEnabled());
    for (Led* led : {ui.OnLineLED, ui.DataLED, ui.PollerLED})
        QCOMPARE(led->colour(), Led::LedColour::Red);
    for (QLabel* label : {ui.lAverage, ui.lFileName, ui.lWrittenData, ui.lRunningAverage, ui.lAverageCount,
                          ui.lAccumulatorTotal, ui.lNextReset})
        QVERIFY(label->text().isEmpty());
    QCOMPARE(f.w->chart()->TitleText(), QStringLiteral("K4 input level in dbm below zero"));
    QTRY_COMPARE(QApplication::focusWidget(), ui.HostAddress);

    // A box, a minimize and a re-activation leave a running capture alone.
    ui.bEndCapture->setEnabled(true);
    f.w->S.FileWrite = true;
    ui.lAverage->setText(QStringLiteral("124"));
    f.w->showMinimized();
    f.w->showNormal();
    f.w->activateWindow();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(f.w.get(), &activate);
    QVERIFY(ui.bEndCapture->isEnabled());
    QVERIFY(f.w->S.FileWrite);
    QCOMPARE(ui.lAverage->text(), QStringLiteral("124"));
    f.w->S.FileWrite = false;
}

void TestWindow::ipTest_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("ok");
    QTest::newRow("empty") << "" << false;
    QTest::newRow("three dots") << "..." << true;
    QTest::newRow("loopback") << "127.0.0.1" << true;
    QTest::newRow("groups above 255") << "999.999.999.999" << true;
    QTest::newRow("letter") << "127.0.0.a" << false;
    QTest::newRow("space") << "127.0.0. 1" << false;
    QTest::newRow("minus") << "127.0.0.-1" << false;
    QTest::newRow("fourth dot") << "127.0.0.1." << false;
    QTest::newRow("digits only") << "2130706433" << false;
    QTest::newRow("two dots") << "127.0.1" << false;
    QTest::newRow("name") << "localhost" << false;
}

void TestWindow::ipTest()
{
    QFETCH(QString, host);
    QFETCH(bool, ok);
    QCOMPARE(Tfrm_framework::IPTest(host), ok);
}

void TestWindow::connectFailureText()
{
    const QString text = Tfrm_framework::ConnectFailureText();
    QCOMPARE(text.size(), 278);
    QCOMPARE(text.count(QLatin1Char('\r')), 7);
    QVERIFY(!text.contains(QLatin1Char('\n')));
    const QStringList lines = text.split(QLatin1Char('\r'));
    QCOMPARE(lines[2], QStringLiteral("1.  The radio may be off."));
    QCOMPARE(lines[7],
             QStringLiteral("Tap MENU on your K4, and scroll to \"IP Address\", to get the radios IP address."));
}

void TestWindow::closeQuery_data()
{
    QTest::addColumn<BoxResult>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Yes") << BoxResult::Yes << true;
    QTest::newRow("Escape") << BoxResult::Cancel << true;
    QTest::newRow("No") << BoxResult::No << false;
}

void TestWindow::closeQuery()
{
    QFETCH(BoxResult, answer);
    QFETCH(bool, closes);
    WindowFixture f;
    f.boxes.confirmationAnswers = {answer};
    QSignalSpy terminate(f.w.get(), &Tfrm_framework::terminateRequested);
    QVERIFY(terminate.isValid());
    QCOMPARE(f.w->close(), closes);
    QCOMPARE(f.boxes.texts(QStringLiteral("confirmation")),
             QStringList{QStringLiteral("Are you sure you want to exit?")});
    QCOMPARE(terminate.size(), closes ? 1 : 0);
}

void TestWindow::realConfirmationBox_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Enter gives Yes") << "enter" << true;
    QTest::newRow("Escape gives Cancel") << "escape" << true;
    QTest::newRow("title-bar close gives Cancel") << "close" << true;
    QTest::newRow("No") << "no" << false;
}

void TestWindow::realConfirmationBox()
{
    QFETCH(QString, answer);
    QFETCH(bool, closes);
    WindowFixture f;
    MessageBoxes::install(nullptr);
    const auto restore = qScopeGuard([&] { MessageBoxes::install(&f.boxes); });
    QSignalSpy terminate(f.w.get(), &Tfrm_framework::terminateRequested);
    QVERIFY(terminate.isValid());

    // The box asks without an event loop of its own: the request waits for the answer.
    QVERIFY(!f.w->close());
    QMessageBox* box = nullptr;
    QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) != nullptr);
    QCOMPARE(box->windowTitle(), QStringLiteral("Confirm"));
    QCOMPARE(box->text(), QStringLiteral("Are you sure you want to exit?"));
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QStringList visible;
    for (QAbstractButton* button : box->buttons())
        if (!button->isHidden())
            visible << button->text();
    QCOMPARE(visible, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No")}));
    QCOMPARE(box->defaultButton()->text(), QStringLiteral("&Yes"));
    // A second close request while it asks opens no second box.
    QVERIFY(!f.w->close());
    QCOMPARE(QApplication::activeModalWidget(), box);

    if (answer == QLatin1String("enter")) {
        QTest::keyClick(box, Qt::Key_Return);
    } else if (answer == QLatin1String("escape")) {
        QTest::keyClick(box, Qt::Key_Escape);
    } else if (answer == QLatin1String("close")) {
        box->close();
    } else {
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QLatin1String("&No"))
                button->click();
    }
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QTest::qWait(50);
    QCOMPARE(terminate.size(), closes ? 1 : 0);
    QCOMPARE(f.w->isVisible(), !closes);
    QCOMPARE(f.w->S.bCloseRequest, closes);
}

void TestWindow::closeRunsShutdownOnceAndEndsProgram()
{
    // Never connected: no "already disconnected" message, LEDs red/blue.
    WindowFixture f;
    QSignalSpy terminate(f.w.get(), &Tfrm_framework::terminateRequested);
    QVERIFY(f.w->close());
    QCOMPARE(terminate.size(), 1);
    QVERIFY(f.boxes.texts(QStringLiteral("information")).isEmpty());
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Red);
    QCOMPARE(f.ui().DataLED->colour(), Led::LedColour::Blue);
    QVERIFY(f.w->S.bCloseRequest);
}

void TestWindow::repeatedErrorsShowOneBoxAtATime()
{
    WindowFixture f;
    int inner = 0;
    // While the first box is open, the same fault repeats (as a timer would
    // raise it every second) and another fault occurs once.
    f.boxes.whileOpen = [&] {
        for (int i = 0; i < 5; ++i)
            f.w->guarded([] { throw EConvertError::invalidInteger(QStringLiteral("99999999999")); });
        f.w->guarded([] { throw EInOutError(5); });
        inner = f.boxes.shown.size();
    };
    f.w->guarded([] { throw EConvertError::invalidInteger(QStringLiteral("99999999999")); });
    QCOMPARE(inner, 1);
    QCOMPARE(f.boxes.texts(QStringLiteral("error")),
             (QStringList{QStringLiteral("'99999999999' is not a valid integer value."),
                          QStringLiteral("File access denied.")}));
}

void TestWindow::boxesWaitTheirTurn()
{
    // A box asked for while another is open waits until that one is answered;
    // the handler that asked goes on at once.
    WindowFixture f;
    f.boxes.holdOpen = true;
    QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    f.ui().bEndCapture->setEnabled(true);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    QVERIFY(f.ui().bBeginCapture->isEnabled());
    f.w->guarded([] { throw EInOutError(5); });
    QCOMPARE(f.boxes.texts(QStringLiteral("information")), QStringList{QStringLiteral("You are already disconnected")});
    QCOMPARE(f.boxes.openCount(), 1);
    QVERIFY(f.boxes.answer());
    QCOMPARE(f.boxes.shown.size(), 2);
    QCOMPARE(f.boxes.shown.last().text,
             QStringLiteral("No file is opened, you must begin a capture before you can close the file"));
    QVERIFY(f.boxes.answer());
    QCOMPARE(f.boxes.shown.last().text, QStringLiteral("File access denied."));
    QVERIFY(f.boxes.answer());
    QCOMPARE(f.boxes.openCount(), 0);
    QCOMPARE(f.boxes.shown.size(), 3);
}

void TestWindow::boxTitles()
{
    QCOMPARE(ApplicationTitle(QStringLiteral("/usr/bin/quorvel")), QStringLiteral("Quorvel"));
    QCOMPARE(ApplicationTitle(QStringLiteral("QUORVEL.EXE")), QStringLiteral("Quorvel"));
    QCOMPARE(ApplicationTitle(QStringLiteral("quorvel.bin.old")), QStringLiteral("Quorvel"));

    // The real information box: the application title, no icon, "OK".
    WindowFixture f;
    MessageBoxes::install(nullptr);
    const auto restore = qScopeGuard([&] { MessageBoxes::install(&f.boxes); });
    QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    QMessageBox* box = nullptr;
    QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) != nullptr);
    QCOMPARE(box->windowTitle(), ApplicationTitle());
    QCOMPARE(box->icon(), QMessageBox::NoIcon);
    QCOMPARE(box->text(), QStringLiteral("You are already disconnected"));
    QCOMPARE(box->buttons().size(), 1);
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    QTest::keyClick(box, Qt::Key_Return);
    QTRY_VERIFY(!QApplication::activeModalWidget());
}

void TestWindow::startPollerWithInvalidHost()
{
    WindowFixture f;
    f.ui().HostAddress->setText(QStringLiteral("radio"));
    f.w->S.FileWrite = false;
    QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
    QCOMPARE(f.boxes.texts(QStringLiteral("information")),
             QStringList{QStringLiteral("You must enter a valid IP address in the host window.")});
    QVERIFY(f.ui().bBeginCapture->isEnabled());
    QVERIFY(!f.w->S.bCommandedStatus);
    QVERIFY(!f.w->Poller->isActive());
    QTRY_COMPARE(QApplication::focusWidget(), f.ui().HostAddress);
}

void TestWindow::stopPollerWhileDisconnected()
{
    WindowFixture f;
    f.ui().bBeginCapture->setEnabled(true);
    QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    QCOMPARE(f.boxes.texts(QStringLiteral("information")), QStringList{QStringLiteral("You are already disconnected")});
    QVERIFY(!f.ui().bBeginCapture->isEnabled());
    QVERIFY(!f.ui().bEndCapture->isEnabled());
    QCOMPARE(f.ui().PollerLED->colour(), Led::LedColour::Red);
}

void TestWindow::endCaptureWithoutFile()
{
    WindowFixture f;
    f.ui().bEndCapture->setEnabled(true);
    f.w->S.AverageCount = 3;
    f.w->S.AverageRunningTotal = 450;
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    QCOMPARE(f.boxes.texts(QStringLiteral("information")),
             QStringList{QStringLiteral("No file is opened, you must begin a capture before you can close the file")});
    QVERIFY(f.ui().bBeginCapture->isEnabled());
    QCOMPARE(f.w->S.AverageCount, 0.0);
    QCOMPARE(f.w->S.AverageRunningTotal, 0.0);
}

QTEST_MAIN(TestWindow)
#include "TestWindow.moc"
