#include "StepGate.h"

#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

using Step = StepGate::Step;
Q_DECLARE_METATYPE(QList<StepGate::Step>)

// The Stop rule without a window: which steps hold a stop back, and when the
// stop and the calls deferred behind receive steps come due.
class TestStepGate : public QObject {
    Q_OBJECT
private slots:
    void stopWaitsForTheOutermostStep_data();
    void stopWaitsForTheOutermostStep();
    void deferredCallsRunWhenTheReceiveStepsEnd();
    void stepEndedByAnErrorLeavesItsStopToTheEventLoop();
    void cancelledStopIsNeverDue();
};

void TestStepGate::stopWaitsForTheOutermostStep_data()
{
    QTest::addColumn<QList<Step>>("nesting");  // outermost first
    QTest::newRow("a tick") << QList<Step>{Step::PollTick};
    QTest::newRow("a receive step") << QList<Step>{Step::Receive};
    QTest::newRow("a chunk inside a tick's wait") << QList<Step>{Step::PollTick, Step::Receive};
    QTest::newRow("a chunk inside another chunk's flash") << QList<Step>{Step::Receive, Step::Receive};
    QTest::newRow("a tick inside a chunk's flash") << QList<Step>{Step::Receive, Step::PollTick};
    QTest::newRow("a tick inside a tick's wait, with a chunk")
        << QList<Step>{Step::PollTick, Step::PollTick, Step::Receive};
}

void TestStepGate::stopWaitsForTheOutermostStep()
{
    QFETCH(QList<Step>, nesting);
    StepGate gate;
    QSignalSpy due(&gate, &StepGate::stopDue);
    QVERIFY(due.isValid());
    QVERIFY(gate.allowStop());

    std::vector<StepGate::Token> running;
    for (const Step step : nesting)
        running.push_back(gate.begin(step));
    QVERIFY(!gate.allowStop());
    QCOMPARE(gate.pollerActive(), nesting.contains(Step::PollTick));
    gate.requestStop();
    gate.requestStop();  // asked twice, due once

    // The inner steps end first; only the outermost end lets the stop through.
    while (running.size() > 1) {
        running.back().end();
        running.pop_back();
        QVERIFY(!gate.allowStop());
        QCOMPARE(due.count(), 0);
    }
    running.back().end();
    running.back().end();  // ending twice ends once
    QVERIFY(gate.allowStop());
    QCOMPARE(due.count(), 1);
    QVERIFY(!gate.stopPending());
    QCoreApplication::processEvents();
    QCOMPARE(due.count(), 1);
}

void TestStepGate::deferredCallsRunWhenTheReceiveStepsEnd()
{
    StepGate gate;
    QStringList order;
    connect(&gate, &StepGate::stopDue, this, [&] { order << QStringLiteral("stop"); });

    gate.afterReceives([&] { order << QStringLiteral("idle call"); });
    QCOMPARE(order, QStringList{QStringLiteral("idle call")});  // nothing running: at once
    order.clear();

    StepGate::Token tick = gate.begin(Step::PollTick);
    {
        StepGate::Token outer = gate.begin(Step::Receive);
        {
            StepGate::Token inner = gate.begin(Step::Receive);
            gate.afterReceives([&] { order << QStringLiteral("first"); });
            gate.requestStop();
        }
        gate.afterReceives([&] { order << QStringLiteral("second"); });
        QVERIFY(order.isEmpty());
    }
    // The receive steps are over, in the order asked; the tick still holds the stop.
    QCOMPARE(order, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    gate.afterReceives([&] { order << QStringLiteral("during the tick"); });
    QCOMPARE(order.size(), 3);
    tick.end();
    QCOMPARE(order.last(), QStringLiteral("stop"));

    // A deferred call runs before a stop that comes due at the same end.
    order.clear();
    {
        StepGate::Token step = gate.begin(Step::Receive);
        gate.requestStop();
        gate.afterReceives([&] { order << QStringLiteral("deferred"); });
    }
    QCOMPARE(order, (QStringList{QStringLiteral("deferred"), QStringLiteral("stop")}));
}

void TestStepGate::stepEndedByAnErrorLeavesItsStopToTheEventLoop()
{
    StepGate gate;
    QSignalSpy due(&gate, &StepGate::stopDue);
    QVERIFY(due.isValid());
    try {
        StepGate::Token tick = gate.begin(Step::PollTick);
        gate.requestStop();
        throw std::runtime_error("a failing tick");
    } catch (const std::runtime_error&) {
    }
    // The step is over at once, so a later step's end cannot be held up by it;
    // the stop itself runs outside the unwinding.
    QVERIFY(gate.allowStop());
    QCOMPARE(due.count(), 0);
    QTRY_COMPARE(due.count(), 1);
}

void TestStepGate::cancelledStopIsNeverDue()
{
    StepGate gate;
    QSignalSpy due(&gate, &StepGate::stopDue);
    QVERIFY(due.isValid());
    {
        StepGate::Token step = gate.begin(Step::Receive);
        gate.requestStop();
        gate.cancelStop();  // a Start Poller overtook it
    }
    QCoreApplication::processEvents();
    QCOMPARE(due.count(), 0);
}

QTEST_GUILESS_MAIN(TestStepGate)
#include "TestStepGate.moc"
