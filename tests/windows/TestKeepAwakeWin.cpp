// Keeping the computer awake on Windows: from Start Poller to Stop Poller,
// the window's close or the program's end, the user-interface thread marks
// the system as required (ES_CONTINUOUS | ES_SYSTEM_REQUIRED), and clears the
// mark after. The state is read back as the system keeps it: a call without
// ES_CONTINUOUS leaves a continuous state as it is and returns it.
#include "K4SimProcess.h"
#include "KeepAwake.h"
#include "ProgramWiring.h"
#include "WindowFixture.h"

#include <QTest>

#include <memory>

#include <windows.h>

namespace {

bool systemRequired()
{
    const EXECUTION_STATE state = ::SetThreadExecutionState(0);
    return (state & (ES_CONTINUOUS | ES_SYSTEM_REQUIRED)) == (ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

}  // namespace

class TestKeepAwakeWin : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void heldWhilePolling_data();
    void heldWhilePolling();
};

void TestKeepAwakeWin::heldWhilePolling_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("Stop Poller") << "stop";
    QTest::newRow("window closed") << "close";
    QTest::newRow("program ends") << "exit";
}

void TestKeepAwakeWin::heldWhilePolling()
{
    QFETCH(QString, end);
    K4SimProcess sim;
    QVERIFY(sim.ok());
    WindowFixture f;
    auto keepAwake = std::make_unique<KeepAwake>();
    ConnectKeepAwake(*f.w, *keepAwake);
    QTest::qWait(200);
    QVERIFY(!systemRequired());  // not before polling

    QVERIFY(f.startPolling(sim.port()));
    QVERIFY(systemRequired());
    // Polling goes on with the mark held, tick after tick.
    QTest::qWait(1500);
    QVERIFY(systemRequired());

    if (end == QLatin1String("stop"))
        QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    else if (end == QLatin1String("close"))
        f.w->close();
    else
        keepAwake.reset();
    QTRY_VERIFY(!systemRequired());
    QVERIFY(f.boxes.texts(QStringLiteral("error")).isEmpty());
    if (end == QLatin1String("stop")) {
        // Polling again marks the system again.
        QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
        QVERIFY(systemRequired());
        QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
        QTRY_VERIFY(!systemRequired());
    }
}

QTEST_MAIN(TestKeepAwakeWin)
#include "TestKeepAwakeWin.moc"
