#include "K4SimProcess.h"
#include "LoopbackPeer.h"
#include "ScratchWorkingDir.h"
#include "LoopGapMeter.h"
#include "WindowFixture.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <mutex>

using namespace std::chrono_literals;

namespace {

const QString kConnecting = QStringLiteral("Connecting to 127.0.0.1.");
const QString kConnected = QStringLiteral("Connected.");
const QString kDisconnected = QStringLiteral("Disconnected.");

}  // namespace

// A link lost while polling is on comes back by itself.
class TestReconnect : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { m_dir = std::make_unique<ScratchWorkingDir>(); }
    void cleanup() { m_dir.reset(); }

    void retryCarriesOnLikeStartPoller();
    void captureGoesOnAfterTheRadioReturns_data();
    void captureGoesOnAfterTheRadioReturns();
    void threeDropsKeepOneRecordPerAnsweredPeriod();
    void stopEndsRetrying_data();
    void stopEndsRetrying();
    void radioAwayForLong();

private:
    static QStringList records(const QString& path) { return WholeCaptureFileLines(path); }
    // Every status text the link raises, in order, from whichever thread.
    struct StatusLog {
        std::mutex lock;
        QStringList texts;
        int count(const QString& text)
        {
            std::lock_guard<std::mutex> hold(lock);
            return int(texts.count(text));
        }
    };
    static void collectStatuses(WindowFixture& f, StatusLog& log)
    {
        const auto collect = [&log](TIdStatus, const QString& text) {
            std::lock_guard<std::mutex> hold(log.lock);
            log.texts << text;
        };
        connect(&f.w->link(), &RadioLink::status, f.w.get(), collect);
        connect(&f.w->link(), &RadioLink::statusFromRadio, f.w.get(), collect);
    }

    std::unique_ptr<ScratchWorkingDir> m_dir;
    // Records must not depend on the machine's regional settings.
    FormatSettings::Override m_formats{FormatSettings{}};
};

void TestReconnect::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestReconnect::retryCarriesOnLikeStartPoller()
{
    QTcpServer radio;
    QVERIFY(radio.listen(QHostAddress::LocalHost));
    WindowFixture f;
    f.w->reconnect().setPauses({300ms});
    QVERIFY(f.startPolling(radio.serverPort()));
    QTRY_VERIFY(radio.hasPendingConnections());
    std::unique_ptr<QTcpSocket> first(radio.nextPendingConnection());
    QTRY_VERIFY(first->bytesAvailable() >= 4 || first->waitForReadyRead(50));

    // The radio drops the connection: red, no box, and a try 300 ms later.
    first->abort();
    QTRY_COMPARE(f.ui().LastNetRequestLabel->text(), kDisconnected);
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Red);
    QTRY_VERIFY_WITH_TIMEOUT(radio.hasPendingConnections(), 3000);
    std::unique_ptr<QTcpSocket> second(radio.nextPendingConnection());

    // Connected again, as a connect does, and "K41;" sent first as Start Poller does.
    QTRY_VERIFY(f.w->S.bConnectionStatus);
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Lime);
    QCOMPARE(f.ui().LastNetRequestLabel->text(), kConnected);
    QByteArray got;
    QTRY_VERIFY((got += second->readAll()).startsWith("K41;") && got.size() >= 4);
    QVERIFY(f.w->Poller->isActive());
    QTRY_VERIFY((got += second->readAll()).contains("sm;smh;"));
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestReconnect::captureGoesOnAfterTheRadioReturns_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("radio closes") << QStringLiteral("--close-after");
    QTest::newRow("radio resets") << QStringLiteral("--reset-after");
}

void TestReconnect::captureGoesOnAfterTheRadioReturns()
{
    QFETCH(QString, fault);
    const QStringList steady{QStringLiteral("--fixed-smh"), QStringLiteral("151")};
    auto sim = std::make_unique<K4SimProcess>(steady + QStringList{fault, QStringLiteral("8")});
    QVERIFY(sim->ok());
    const quint16 port = sim->port();
    WindowFixture f;
    const ReconnectScheduler::Pauses pauses{1000ms, 2000ms, 4000ms};
    f.w->reconnect().setPauses(pauses);
    QVERIFY(f.startPolling(port));
    QVERIFY(f.beginCapture(2, QStringLiteral("rc")));
    const QString path = f.w->S.sFileName;

    // The radio answers four polls, then drops the link and goes away.
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->S.bConnectionStatus, 15000);
    sim.reset();
    QElapsedTimer away;
    away.start();
    QTest::qWait(2500);  // the period the loss fell in is written by now
    const int recordsBefore = records(path).size();
    QVERIFY(recordsBefore >= 1);
    QVERIFY(f.w->reconnect().attemptsMade() >= 1);  // refused while away

    // Back on the same port a few seconds later.
    QTest::qWait(1000);
    QCOMPARE(records(path).size(), recordsBefore);  // no readings, no record
    sim = std::make_unique<K4SimProcess>(steady + QStringList{QStringLiteral("--port"), QString::number(port)});
    QVERIFY(sim->ok());
    QElapsedTimer back;
    back.start();
    QTRY_VERIFY_WITH_TIMEOUT(f.w->S.bConnectionStatus, int(pauses.back().count()) + 2000);
    qInfo("away %lld ms, reconnected %lld ms after the radio came back", away.elapsed(), back.elapsed());
    QCOMPARE(records(path).size(), recordsBefore);

    // Recording goes on in the same file.
    QTRY_VERIFY_WITH_TIMEOUT(records(path).size() >= recordsBefore + 2, 8000);
    QVERIFY(f.w->S.FileWrite);
    QCOMPARE(f.w->S.sFileName, path);
    static const QRegularExpression record(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,(151|180),123$"));
    for (const QString& line : records(path))
        QVERIFY2(record.match(line).hasMatch(), qPrintable(line));
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestReconnect::threeDropsKeepOneRecordPerAnsweredPeriod()
{
    // Every connection gets six replies (three polls), then the radio closes it.
    K4SimProcess sim(
        {QStringLiteral("--fixed-smh"), QStringLiteral("151"), QStringLiteral("--close-after"), QStringLiteral("6")});
    QVERIFY(sim.ok());
    StatusLog statuses;  // outlives the window, which raises texts as it goes
    WindowFixture f;
    f.w->reconnect().setPauses({1000ms});
    collectStatuses(f, statuses);
    QVERIFY(f.startPolling(sim.port()));
    QVERIFY(f.beginCapture(2, QStringLiteral("rc")));
    const QString path = f.w->S.sFileName;
    QElapsedTimer capturing;
    capturing.start();

    QSignalSpy reconnected(&f.w->reconnect(), &ReconnectScheduler::reconnected);
    QVERIFY(reconnected.isValid());
    QTRY_VERIFY_WITH_TIMEOUT(reconnected.count() == 3 && !f.w->S.bConnectionStatus, 40000);
    QCOMPARE(statuses.count(kConnected), 4);
    QCOMPARE(statuses.count(kDisconnected), 4);
    QCOMPARE(statuses.count(kConnecting), 4);
    // Stop Poller with the link down leaves the capture open, as always.
    QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    QTest::qWait(2500);  // the last period with readings is written
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    const qint64 periods = capturing.elapsed() / 2000 + 1;

    // Four connections of three polls each: the periods the radio answered
    // in are recorded, each once, with the level of real readings only.
    const QStringList got = records(path);
    static const QRegularExpression record(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,\\d\\d:\\d\\d:\\d\\d,(151|180),123$"));
    for (const QString& line : got)
        QVERIFY2(record.match(line).hasMatch(), qPrintable(line));
    QVERIFY2(got.size() >= 4 && got.size() <= periods, qPrintable(got.join(QLatin1Char('|'))));
    QCOMPARE(statuses.count(kConnected), 4);
    QCOMPARE(f.boxes.texts(QStringLiteral("information")), QStringList{QStringLiteral("You are already disconnected")});
    QCOMPARE(f.boxes.shown.size(), 1);
}

void TestReconnect::stopEndsRetrying_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("duringConnect");
    QTest::newRow("Stop Poller in the pause") << "stop" << false;
    QTest::newRow("Stop Poller in the connect") << "stop" << true;
    QTest::newRow("window closed in the connect") << "close" << true;
    QTest::newRow("Start Poller in the connect") << "start" << true;
}

void TestReconnect::stopEndsRetrying()
{
    QFETCH(QString, how);
    QFETCH(bool, duringConnect);
    SilentListener radio("127.0.0.1", false);
    WindowFixture f;
    f.w->reconnect().setPauses({duringConnect ? 200ms : 1000ms});
    QVERIFY(f.startPolling(radio.port()));
    std::unique_ptr<PeerConnection> peer = radio.accept();
    QVERIFY(peer);
    if (!radio.fill())
        QSKIP("this system does not leave connects to a full accept queue unanswered");
    peer->reset();
    QTRY_VERIFY(!f.w->S.bConnectionStatus);
    if (duringConnect) {
        QTRY_VERIFY_WITH_TIMEOUT(f.w->reconnect().connecting(), 2000);
        QCOMPARE(f.ui().LastNetRequestLabel->text(), kConnecting);
        QTest::qWait(300);
    } else {
        QTest::qWait(100);
    }

    const int attempts = f.w->reconnect().attemptsMade();
    QElapsedTimer took;
    took.start();
    QStringList information;
    QStringList warnings;
    // The close is timed to the end of the shutdown sequence: under Wine on a
    // bare X server the window itself takes a further 2 s to go.
    qint64 closedAt = -1;
    connect(f.w.get(), &Tfrm_framework::terminateRequested, this, [&] { closedAt = took.elapsed(); });
    if (how == QLatin1String("close")) {
        f.w->close();
    } else if (how == QLatin1String("stop")) {
        QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
        // Stop Poller with the link down says so, as it always has.
        information << QStringLiteral("You are already disconnected");
    } else {
        // The user's own connect replaces the retry; it fails against this
        // radio as it always has, with its warning, and starts no retries.
        QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
        warnings << Tfrm_framework::ConnectFailureText();
    }
    if (how != QLatin1String("start")) {
        const qint64 stopped = how == QLatin1String("close") ? closedAt : took.elapsed();
        QVERIFY2(stopped >= 0 && stopped < 500,
                 qPrintable(QStringLiteral("stopping waits for the retry's connect: %1 ms").arg(stopped)));
    }
    QVERIFY(!f.w->reconnect().active());
    QVERIFY(!f.w->link().ConnectPending());

    // Nothing of ours arrives once the queue has room, and nothing is tried again.
    QCOMPARE(radio.acceptOthers(1500), 0);
    QCOMPARE(f.w->reconnect().attemptsMade(), attempts);
    QVERIFY(!f.w->S.bConnectionStatus);
    QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Red);
    QCOMPARE(f.boxes.texts(QStringLiteral("information")), information);
    QCOMPARE(f.boxes.texts(QStringLiteral("warning")), warnings);
}

void TestReconnect::radioAwayForLong()
{
    // The real pauses against a radio that answers nothing: each try spends
    // the connect's 2 s off the window's thread.
    SilentListener radio("127.0.0.1", false);
    StatusLog statuses;
    WindowFixture f;
    collectStatuses(f, statuses);
    QVERIFY(f.startPolling(radio.port()));
    std::unique_ptr<PeerConnection> peer = radio.accept();
    QVERIFY(peer);
    if (!radio.fill())
        QSKIP("this system does not leave connects to a full accept queue unanswered");

    QElapsedTimer sinceLoss;
    QList<qint64> starts;
    connect(&f.w->reconnect(), &ReconnectScheduler::attemptStarted, this, [&] { starts << sinceLoss.elapsed(); });
    LoopGapMeter gaps;
    sinceLoss.start();
    peer->close();
    QTRY_VERIFY(!f.w->S.bConnectionStatus);
    QTRY_VERIFY_WITH_TIMEOUT(starts.size() == 3, 45000);
    QTest::qWait(2200);  // the third try's connect runs out

    qInfo("tries at %lld, %lld, %lld ms after the loss; longest event-loop gap %lld ms", starts[0], starts[1],
          starts[2], gaps.longestMs());
    // 5 s after the loss; then 10 s and 20 s after each failed 2 s connect.
    const qint64 expected[] = {5000, 5000 + 2000 + 10000, 5000 + 2000 + 10000 + 2000 + 20000};
    for (int i = 0; i < 3; ++i)
        QVERIFY2(starts[i] >= expected[i] && starts[i] <= expected[i] + 1500, qPrintable(QString::number(starts[i])));
    // A connect on this thread would stall it for its full 2 s; the margin is
    // for a loaded machine or a sanitizer build.
    QVERIFY2(gaps.longestMs() < 1000, qPrintable(QString::number(gaps.longestMs())));
    QVERIFY(f.boxes.shown.isEmpty());
    QVERIFY(f.w->Poller->isActive());
    QCOMPARE(statuses.count(kConnecting), 3 + 1);
    QVERIFY(!f.w->S.bConnectionStatus);
}

QTEST_MAIN(TestReconnect)
#include "TestReconnect.moc"
