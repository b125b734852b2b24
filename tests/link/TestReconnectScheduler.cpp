#include "LoopbackPeer.h"
#include "RadioLink.h"
#include "ReconnectScheduler.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {

int entriesIn(const char* folder)
{
    return int(
        QDir(QString::fromLatin1(folder)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

long rssKib()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// A link aimed at a loopback port, its status texts collected on this thread.
struct AimedLink {
    RadioLink link;
    QStringList statuses;
    int connectedEvents = 0;

    explicit AimedLink(quint16 port)
    {
        link.setHost(QStringLiteral("127.0.0.1"));
        link.setPort(port);
        link.setConnectTimeout(2000);
        // Background connects raise their texts on this thread.
        QObject::connect(&link, &RadioLink::status, [this](TIdStatus, const QString& text) { statuses << text; });
        QObject::connect(&link, &RadioLink::connected, [this] { ++connectedEvents; });
    }
};

}  // namespace

// The retry rule and its background connects, without a window.
class TestReconnectScheduler : public QObject {
    Q_OBJECT
private slots:
    void pauseRule_data();
    void pauseRule();
    void retriesAtGrowingPausesUntilThePeerAnswers();
    void cancelLeavesNothingToConnect_data();
    void cancelLeavesNothingToConnect();
    void hundredsOfRetriesLeaveThreadsAndDescriptors();
};

void TestReconnectScheduler::pauseRule_data()
{
    QTest::addColumn<int>("attempt");
    QTest::addColumn<int>("seconds");
    QTest::newRow("first, after the loss") << 0 << 5;
    QTest::newRow("second") << 1 << 10;
    QTest::newRow("third") << 2 << 20;
    QTest::newRow("fourth") << 3 << 40;
    QTest::newRow("capped") << 4 << 60;
    QTest::newRow("stays capped") << 500 << 60;
}

void TestReconnectScheduler::pauseRule()
{
    QFETCH(int, attempt);
    QFETCH(int, seconds);
    const auto pause = ReconnectScheduler::pauseBefore(ReconnectScheduler::defaultPauses(), attempt);
    QCOMPARE(pause, std::chrono::milliseconds(std::chrono::seconds(seconds)));
}

void TestReconnectScheduler::retriesAtGrowingPausesUntilThePeerAnswers()
{
    // The port refuses while the radio is away; then it listens again.
    std::optional<RefusingPort> away(std::in_place);
    const quint16 port = away->port();
    AimedLink a(port);
    ReconnectScheduler scheduler(a.link);
    scheduler.setPauses({100ms, 200ms, 400ms});
    QSignalSpy started(&scheduler, &ReconnectScheduler::attemptStarted);
    QSignalSpy failed(&scheduler, &ReconnectScheduler::attemptFailed);
    QSignalSpy reconnected(&scheduler, &ReconnectScheduler::reconnected);
    QVERIFY(started.isValid() && failed.isValid() && reconnected.isValid());

    QElapsedTimer clock;
    clock.start();
    QList<qint64> startTimes;
    QList<qint64> failTimes;
    connect(&scheduler, &ReconnectScheduler::attemptStarted, this, [&] { startTimes << clock.elapsed(); });
    connect(&scheduler, &ReconnectScheduler::attemptFailed, this, [&] { failTimes << clock.elapsed(); });
    scheduler.linkLost();
    scheduler.linkLost();  // a second report while trying changes nothing
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 4, 5000);
    scheduler.cancel();
    QVERIFY(startTimes[0] >= 100);
    QVERIFY2(startTimes[1] - failTimes[0] >= 200, qPrintable(QString::number(startTimes[1] - failTimes[0])));
    QVERIFY(startTimes[2] - failTimes[1] >= 400);
    QVERIFY(startTimes[3] - failTimes[2] >= 400);  // the last pause repeats
    QCOMPARE(a.connectedEvents, 0);
    QCOMPARE(a.statuses.count(QStringLiteral("Connecting to 127.0.0.1.")), 4);
    QVERIFY(!a.statuses.contains(QStringLiteral("Connected.")));

    // The radio is back on the same port: the next try connects, with the
    // connect's own texts and events, on this thread.
    away.reset();
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in addr = loopbackAddress("127.0.0.1", port);
    QVERIFY(::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0);
    QVERIFY(::listen(fd.get(), 4) == 0);
    a.statuses.clear();
    scheduler.linkLost();
    QTRY_COMPARE_WITH_TIMEOUT(reconnected.count(), 1, 3000);
    QVERIFY(a.link.Connected());
    QCOMPARE(a.connectedEvents, 1);
    QCOMPARE(a.statuses, (QStringList{QStringLiteral("Connecting to 127.0.0.1."), QStringLiteral("Connected.")}));
    QVERIFY(!scheduler.active());
    a.link.Disconnect();
}

void TestReconnectScheduler::cancelLeavesNothingToConnect_data()
{
    QTest::addColumn<bool>("duringConnect");
    QTest::newRow("during the pause") << false;
    QTest::newRow("during the connect") << true;
}

void TestReconnectScheduler::cancelLeavesNothingToConnect()
{
    QFETCH(bool, duringConnect);
    SilentListener silent;
    if (!silent.ready())
        QSKIP("this system does not leave connects to a full accept queue unanswered");
    AimedLink a(silent.port());
    ReconnectScheduler scheduler(a.link);
    scheduler.setPauses({duringConnect ? 10ms : 300ms});
    scheduler.linkLost();
    if (duringConnect) {
        QTRY_VERIFY_WITH_TIMEOUT(scheduler.connecting(), 2000);
        QTest::qWait(200);  // well inside the connect's 2 s
    }
    QElapsedTimer took;
    took.start();
    scheduler.cancel();
    QVERIFY2(took.elapsed() < 500, "a cancel waits for the connect to end by itself");
    QVERIFY(!scheduler.active());
    QVERIFY(!a.link.ConnectPending());
    const int attempts = scheduler.attemptsMade();
    QCOMPARE(attempts, duringConnect ? 1 : 0);

    // With room in the queue again nothing of ours arrives, and nothing is tried.
    QCOMPARE(silent.acceptOthers(1500), 0);
    QTest::qWait(400);
    QCOMPARE(scheduler.attemptsMade(), attempts);
    QVERIFY(!a.link.Connected());
    QCOMPARE(a.connectedEvents, 0);
    QVERIFY(!a.statuses.contains(QStringLiteral("Connected.")));
}

void TestReconnectScheduler::hundredsOfRetriesLeaveThreadsAndDescriptors()
{
    RefusingPort closed;
    AimedLink a(closed.port());
    ReconnectScheduler scheduler(a.link);
    scheduler.setPauses({1ms});
    // One try first, so lazily made things (Qt's timer machinery) exist before counting.
    scheduler.linkLost();
    QTRY_VERIFY(scheduler.attemptsMade() >= 1 && !scheduler.connecting());
    scheduler.cancel();
    QTest::qWait(50);
    const int threads = entriesIn("/proc/self/task");
    const int fds = entriesIn("/proc/self/fd");
    const long rssBefore = rssKib();

    QElapsedTimer took;
    took.start();
    scheduler.linkLost();
    QTRY_VERIFY_WITH_TIMEOUT(scheduler.attemptsMade() >= 201, 30000);
    scheduler.cancel();
    const qint64 ms = took.elapsed();
    QTest::qWait(50);
    qInfo("%d retries in %lld ms; threads %d, descriptors %d, resident %ld -> %ld KiB", scheduler.attemptsMade() - 1,
          ms, threads, fds, rssBefore, rssKib());
    QCOMPARE(entriesIn("/proc/self/task"), threads);
    QCOMPARE(entriesIn("/proc/self/fd"), fds);
    QVERIFY(!a.link.ConnectPending());
}

QTEST_GUILESS_MAIN(TestReconnectScheduler)
#include "TestReconnectScheduler.moc"
