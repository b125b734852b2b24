#include "K4SimProcess.h"
#include "KeepAwake.h"
#include "ProgramWiring.h"
#include "WindowFixture.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <QSocketNotifier>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <vector>

// logind as far as the program uses it: Inhibit hands out one end of a pipe
// and keeps the other, which reads end-of-file once every copy of the handed
// out end has been closed, that is, once the lock has been let go.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList lastRequest;
    int requests = 0;
    int held = 0;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode)
    {
        lastRequest = {what, who, why, mode};
        ++requests;
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return {};
        ++held;
        m_watches.push_back(std::make_unique<QSocketNotifier>(ends[0], QSocketNotifier::Read));
        QSocketNotifier* watch = m_watches.back().get();
        connect(watch, &QSocketNotifier::activated, this, [this, watch, readEnd = ends[0]] {
            char byte;
            if (::read(readEnd, &byte, 1) > 0)
                return;
            --held;
            watch->setEnabled(false);
            ::close(readEnd);
        });
        QDBusUnixFileDescriptor handed(ends[1]);  // a copy of its own
        ::close(ends[1]);
        return handed;
    }

private:
    std::vector<std::unique_ptr<QSocketNotifier>> m_watches;
};

class TestKeepAwake : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void withoutLogindPollingGoesOn();
    void heldWhilePolling_data();
    void heldWhilePolling();

private:
    // Start Poller against the simulator on loopback.
    static void startPolling(WindowFixture& f, const K4SimProcess& sim)
    {
        f.aimAt(sim.port());
        QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
        QVERIFY(f.w->Poller->isActive());
    }

    QProcess m_bus;
    QString m_address;
};

void TestKeepAwake::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    // A private bus stands in for the system bus.
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--print-address"), QStringLiteral("--nofork")});
    QVERIFY(m_bus.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(m_bus.canReadLine() || m_bus.waitForReadyRead(100), 5000);
    m_address = QString::fromLocal8Bit(m_bus.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toLocal8Bit());
}

void TestKeepAwake::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-logind"));
    m_bus.terminate();
    m_bus.waitForFinished(3000);
}

void TestKeepAwake::withoutLogindPollingGoesOn()
{
    // The bus is there, logind is not: polling goes on, and nobody is told.
    K4SimProcess sim;
    QVERIFY(sim.ok());
    WindowFixture f;
    KeepAwake keepAwake;
    ConnectKeepAwake(*f.w, keepAwake);
    startPolling(f, sim);
    QTest::qWait(1500);
    QVERIFY(f.w->Poller->isActive());
    QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestKeepAwake::heldWhilePolling_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("Stop Poller") << "stop";
    QTest::newRow("window closed") << "close";
    QTest::newRow("program ends") << "exit";
}

void TestKeepAwake::heldWhilePolling()
{
    QFETCH(QString, end);
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, QStringLiteral("fake-logind"));
    QVERIFY(bus.isConnected());
    FakeLogind logind;
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind, QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.login1")));
    const auto unregister = qScopeGuard([&] {
        bus.unregisterService(QStringLiteral("org.freedesktop.login1"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/login1"));
    });

    K4SimProcess sim;
    QVERIFY(sim.ok());
    WindowFixture f;
    auto keepAwake = std::make_unique<KeepAwake>();
    ConnectKeepAwake(*f.w, *keepAwake);
    QTest::qWait(200);
    QCOMPARE(logind.requests, 0);  // not before polling
    startPolling(f, sim);
    QTRY_COMPARE(logind.held, 1);
    QCOMPARE(logind.lastRequest.size(), 4);
    QCOMPARE(logind.lastRequest[0], QStringLiteral("sleep:idle"));
    QCOMPARE(logind.lastRequest[1], QStringLiteral("Quorvel"));
    QVERIFY(logind.lastRequest[2].contains(QStringLiteral("capture")));
    QCOMPARE(logind.lastRequest[3], QStringLiteral("block"));
    // A second Start Poller keeps the one lock.
    QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
    QTest::qWait(300);
    QCOMPARE(logind.requests, 1);
    QCOMPARE(logind.held, 1);

    if (end == QLatin1String("stop"))
        QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    else if (end == QLatin1String("close"))
        f.w->close();
    else
        keepAwake.reset();
    QTRY_COMPARE(logind.held, 0);
    QVERIFY(f.boxes.texts(QStringLiteral("error")).isEmpty());
    if (end == QLatin1String("stop")) {
        // Polling again takes the lock again.
        QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
        QTRY_COMPARE(logind.held, 1);
        QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
        QTRY_COMPARE(logind.held, 0);
    }
}

QTEST_MAIN(TestKeepAwake)
#include "TestKeepAwake.moc"
