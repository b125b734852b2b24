#include "ClosedLoopbackPort.h"
#include "WindowFixture.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QTest>

#include <memory>

// The window's side of the link, against radios the test plays itself on loopback.
class TestLinkControl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void chunkSorting_data();
    void chunkSorting();
    void streamOfChunksDoesNotNestFlashes();
    void connectShowsStatusAndConnectsOnce();
    void refusedConnectShowsWarning();
    void radioClosingTurnsLedsRedWithoutBox();
    void disconnectIsGuarded();
    void stopDuringNestedReceiveStepsWaitsForTheOutermost();
    void commandsLeaveAsPlainBytesWithPacing();
    void startPollerTwiceSendsK41TwiceOverOneConnection();

private:
    // A radio the test plays on loopback, and a window connected to it.
    struct ConnectedWindow {
        QTcpServer radio;
        WindowFixture f;
        explicit ConnectedWindow(bool connect = true)
        {
            radio.listen(QHostAddress::LocalHost);
            f.aimAt(radio.serverPort());
            if (connect)
                f.w->ConnectToRadio();
        }
    };
};

void TestLinkControl::chunkSorting_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("sm");
    QTest::addColumn<QString>("smh");

    QTest::newRow("joined replies") << QList<QByteArray>{"SM0012;SMH070;"} << "SM0012;"
                                    << "SMH070;";
    QTest::newRow("split reply") << QList<QByteArray>{"SMH0", "70;"} << ""
                                 << "SMH070;";
    QTest::newRow("split inside SMH") << QList<QByteArray>{"SM", "H151;"} << ""
                                      << "SMH151;";
    QTest::newRow("lower-case smh") << QList<QByteArray>{"smh151;"} << "smh151;"
                                    << "";
    QTest::newRow("bar reply after unread high-resolution reply")
        << QList<QByteArray>{"SMH070;", "SM0012;"} << "SM0012;"
        << "SMH070;";
    QTest::newRow("later reply wins") << QList<QByteArray>{"SMH070;", "SMH071;"} << ""
                                      << "SMH071;";
    QTest::newRow("byte above 127") << QList<QByteArray>{
        "SMH\xb0"
        "151;"} << "" << QStringLiteral("SMH\uFFFD151;");
}

void TestLinkControl::chunkSorting()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QString, sm);
    QFETCH(QString, smh);
    WindowFixture f;
    // Delivered as the reader thread does: queued, so each chunk's LED flash
    // lets the next chunk's step run inside its waits.
    for (const QByteArray& chunk : chunks)
        f.w->link().telnet().OnDataAvailable(chunk);
    QTRY_VERIFY(f.w->S.AllowStop());
    QTest::qWait(150);
    QCOMPARE(f.w->S.smRadioResponse, sm);
    QCOMPARE(f.w->S.smhRadioResponse, smh);
    QCOMPARE(f.ui().DataLED->colour(), Led::LedColour::Lime);
}

void TestLinkControl::streamOfChunksDoesNotNestFlashes()
{
    // A radio streaming faster than one chunk per flash: every chunk is still
    // sorted in order, without a 50 ms flash stacked up for each of them.
    WindowFixture f;
    for (int i = 0; i < 500; ++i)
        f.w->link().telnet().OnDataAvailable(QByteArray("SMH") + QByteArray::number(100 + i) + ";");
    QTRY_COMPARE(f.w->S.smhRadioResponse, QStringLiteral("SMH599;"));
    QTRY_VERIFY(f.w->S.AllowStop());
    QTRY_COMPARE(f.ui().DataLED->colour(), Led::LedColour::Lime);
}

void TestLinkControl::connectShowsStatusAndConnectsOnce()
{
    ConnectedWindow c;
    auto& [radio, f] = c;
    QVERIFY(f.w->S.bConnectionStatus);
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Lime);
    QCOMPARE(f.ui().LastNetRequestLabel->text(), QStringLiteral("Connected."));
    QCOMPARE(f.ui().LastIP->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(f.ui().LastPortlabel->text(), QString::number(radio.serverPort()));
    f.w->ConnectToRadio();
    QTest::qWait(100);
    int accepted = 0;
    while (radio.hasPendingConnections() || radio.waitForNewConnection(50)) {
        delete radio.nextPendingConnection();
        ++accepted;
        if (accepted > 2)
            break;
    }
    QCOMPARE(accepted, 1);
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestLinkControl::refusedConnectShowsWarning()
{
    const quint16 port = ClosedLoopbackPort();
    QVERIFY(port != 0);
    WindowFixture f;
    f.aimAt(port);
    f.w->ConnectToRadio();
    QCOMPARE(f.boxes.texts(QStringLiteral("warning")), QStringList{Tfrm_framework::ConnectFailureText()});
    QVERIFY(!f.w->S.bConnectionStatus);
    QCOMPARE(f.ui().LastNetRequestLabel->text(), QStringLiteral("Connecting to 127.0.0.1."));
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Red);
}

void TestLinkControl::radioClosingTurnsLedsRedWithoutBox()
{
    ConnectedWindow c;
    auto& [radio, f] = c;
    QVERIFY(f.w->S.bConnectionStatus);
    QVERIFY(radio.waitForNewConnection(2000));
    std::unique_ptr<QTcpSocket> peer(radio.nextPendingConnection());
    peer->write("SM0012;");
    QVERIFY(peer->waitForBytesWritten(1000));
    QTRY_COMPARE(f.w->S.smRadioResponse, QStringLiteral("SM0012;"));
    f.ui().PollerLED->setColour(Led::LedColour::Lime);
    peer->close();
    QTRY_VERIFY(!f.w->S.bConnectionStatus);
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Red);
    QCOMPARE(f.ui().DataLED->colour(), Led::LedColour::Red);
    QCOMPARE(f.ui().PollerLED->colour(), Led::LedColour::Lime);  // polling is left alone
    QCOMPARE(f.ui().LastNetRequestLabel->text(), QStringLiteral("Disconnected."));
    QVERIFY(f.boxes.shown.isEmpty());
    // A later connect works again.
    f.w->ConnectToRadio();
    QVERIFY(f.w->S.bConnectionStatus);
}

void TestLinkControl::disconnectIsGuarded()
{
    ConnectedWindow c;
    auto& f = c.f;
    QVERIFY(f.w->S.bConnectionStatus);
    f.ui().lReturnedData->setText(QStringLiteral("SMH151;"));

    // While a receive step or a tick is half-way nothing happens at all.
    for (const StepGate::Step kind : {StepGate::Step::Receive, StepGate::Step::PollTick}) {
        StepGate::Token step = f.w->S.Steps.begin(kind);
        f.w->Poller->start();
        f.w->DisconnectFromRadio();
        QVERIFY(f.w->S.bConnectionStatus);
        QCOMPARE(f.ui().lReturnedData->text(), QStringLiteral("SMH151;"));
        QVERIFY(f.w->Poller->isActive());
        QVERIFY(f.w->S.Steps.stopPending());
        f.w->S.Steps.cancelStop();
    }

    f.w->DisconnectFromRadio();
    QVERIFY(!f.w->S.bConnectionStatus);
    QVERIFY(f.ui().lReturnedData->text().isEmpty());
    QVERIFY(!f.w->Poller->isActive());
    QVERIFY(!f.w->link().Connected());
    QCOMPARE(f.ui().LastNetRequestLabel->text(), QStringLiteral("Disconnected."));
    for (Led* led : {f.ui().OnLineLED, f.ui().DataLED, f.ui().PollerLED})
        QCOMPARE(led->colour(), Led::LedColour::Red);
}

void TestLinkControl::stopDuringNestedReceiveStepsWaitsForTheOutermost()
{
    ConnectedWindow c;
    auto& f = c.f;
    QVERIFY(f.w->S.bConnectionStatus);
    // A second chunk arrives while the first one's data flash runs; Stop
    // Poller is clicked after the second step has ended, still inside the flash.
    int state = 0;
    bool allowStopAfterInner = true;
    bool stoppedInsideFlash = false;
    QTimer watch;
    watch.setInterval(1);
    connect(&watch, &QTimer::timeout, f.w.get(), [&] {
        if (state == 0 && f.ui().DataLED->colour() == Led::LedColour::Blue) {
            f.w->link().telnet().OnDataAvailable(QByteArray("SM0012;"));
            state = 1;
        } else if (state == 1 && f.w->S.smRadioResponse == QLatin1String("SM0012;")) {
            state = 2;
            allowStopAfterInner = f.w->S.AllowStop();
            stoppedInsideFlash = f.ui().DataLED->colour() == Led::LedColour::Blue;
            QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
            watch.stop();
        }
    });
    watch.start();
    f.w->link().telnet().OnDataAvailable(QByteArray("SMH151;"));
    QTRY_COMPARE(state, 2);
    QVERIFY(stoppedInsideFlash);
    QVERIFY(!allowStopAfterInner);
    // The Stop is carried out when the outer step ends; its flash paints no lime after.
    QTRY_VERIFY(!f.w->link().Connected());
    QTest::qWait(100);
    QVERIFY(f.w->S.AllowStop());
    QVERIFY(!f.w->S.bConnectionStatus);
    QCOMPARE(f.ui().DataLED->colour(), Led::LedColour::Red);
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Red);
}

void TestLinkControl::commandsLeaveAsPlainBytesWithPacing()
{
    ConnectedWindow c(false);
    auto& [radio, f] = c;

    // Not connected: nothing is sent and there is no wait.
    QElapsedTimer t;
    t.start();
    f.w->SendToRadio(QStringLiteral("K41;"));
    QVERIFY(t.elapsed() < 100);

    f.w->ConnectToRadio();
    QVERIFY(radio.waitForNewConnection(2000));
    std::unique_ptr<QTcpSocket> peer(radio.nextPendingConnection());
    t.restart();
    f.w->SendToRadio(QStringLiteral("K41;"));
    QVERIFY(t.elapsed() >= 100);
    f.w->SendToRadio(QStringLiteral("sm;"));
    QByteArray got;
    QTRY_VERIFY((got += peer->readAll()).size() >= 7);
    QCOMPARE(got, QByteArray("K41;sm;"));
}

void TestLinkControl::startPollerTwiceSendsK41TwiceOverOneConnection()
{
    ConnectedWindow c(false);
    auto& [radio, f] = c;
    QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
    QVERIFY(f.w->S.bConnectionStatus);
    QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
    QVERIFY(f.w->S.bConnectionStatus);
    QVERIFY(f.w->Poller->isActive());

    QVERIFY(radio.hasPendingConnections() || radio.waitForNewConnection(2000));
    std::unique_ptr<QTcpSocket> peer(radio.nextPendingConnection());
    QVERIFY(peer);
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += peer->readAll()).count("K41;") >= 2, 5000);
    // Nothing more of it follows, and no second connection was opened.
    QTest::qWait(300);
    received += peer->readAll();
    QCOMPARE(received.count("K41;"), 2);
    QVERIFY(!radio.hasPendingConnections() && !radio.waitForNewConnection(100));
    QVERIFY(f.boxes.shown.isEmpty());
}

QTEST_MAIN(TestLinkControl)
#include "TestLinkControl.moc"
