#include "WindowSoak.h"

#include "ChartFilledPastItsWidth.h"
#include "EventWait.h"
#include "K4SimLauncher.h"
#include "SoakPhases.h"
#include "SoakProtocol.h"
#include "UiStallMeter.h"

#include "FormatSettings.h"
#include "HowLongSpinEdit.h"
#include "K4Status_U.h"
#include "LevelChart.h"
#include "RecordingBoxes.h"
#include "ui_K4Status_U.h"

#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <malloc.h>

#include <memory>

using EventWait::spinFor;
using EventWait::spinUntil;
using SoakProtocol::Event;
using SoakProtocol::Kind;
using SoakProtocol::say;

namespace {

// How long a phase may overrun (stopping the simulator, a last connect) before it counts as stuck.
constexpr qint64 kStuckAfterMs = 20000;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// An event of a phase, stamped now.
Event at(Kind kind, int phase, const QString& text = QString())
{
    Event e;
    e.kind = kind;
    e.phase = phase;
    e.atMs = nowMs();
    e.text = text;
    return e;
}

Event error(const QString& text)
{
    Event e;
    e.kind = Kind::Error;
    e.text = text;
    return e;
}

QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char('|'));
    text.replace(QLatin1Char('\n'), QLatin1Char('|'));
    return text;
}

// The window with its boxes recorded, shown and activated, C-locale texts.
class SoakWindow {
public:
    SoakWindow()
    {
        QLocale::setDefault(QLocale::c());
        w = std::make_unique<Tfrm_framework>();
        w->show();
        w->activateWindow();
    }
    ~SoakWindow()
    {
        // Ending the soak is no user's exit: no confirmation, no shutdown boxes.
        w->S.bCloseRequest = true;
        w.reset();
    }
    SoakWindow(const SoakWindow&) = delete;
    SoakWindow& operator=(const SoakWindow&) = delete;

    bool waitActivated()
    {
        return spinUntil([this] { return w->activated(); }, 5000);
    }
    Ui::Tfrm_framework& ui() { return w->form(); }

    void aimAt(quint16 port)
    {
        ui().HostAddress->setText(QStringLiteral("127.0.0.1"));
        ui().PortAddress->setText(QString::number(port));
    }
    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Reports the boxes shown since the last call.
    void reportBoxes(int phase)
    {
        for (; m_reportedBoxes < boxes.shown.size(); ++m_reportedBoxes) {
            const auto& box = boxes.shown.at(m_reportedBoxes);
            Event e;
            e.kind = Kind::Box;
            e.phase = phase;
            e.boxKind = box.kind;
            e.text = oneLine(box.text);
            say(e);
        }
    }

    // Records must not depend on the machine's regional settings.
    FormatSettings::Override formats{FormatSettings{}};
    RecordingBoxes boxes;  // before the window: it must outlive it
    std::unique_ptr<Tfrm_framework> w;

private:
    qsizetype m_reportedBoxes = 0;
};

// Start Poller, then Begin Capture with the soak's period and suffix, as a user would.
void connectAndCapture(SoakWindow& win, UiStallMeter& meter, int phase)
{
    say(at(Kind::StartPoller, phase));
    meter.setActivity(QStringLiteral("Start Poller click"));
    meter.markConnectStart();
    win.click(win.ui().bStartPoller);
    if (!win.w->S.bConnectionStatus)
        say(at(Kind::NoConnect, phase));
    win.ui().seHowLong->setText(QString::number(kCapturePeriodSeconds));
    win.ui().Additionaldata->setText(kCaptureSuffix);
    meter.setActivity(QStringLiteral("Begin Capture click"));
    win.click(win.ui().bBeginCapture);
    if (win.w->S.FileWrite)
        say(at(Kind::Capture, phase, win.w->S.sFileName));
    else
        say(at(Kind::NoCapture, phase));
}

}  // namespace

namespace WindowSoak {

int runSoak(const Options& options)
{
    if (!QDir::setCurrent(options.directory)) {
        say(error(QStringLiteral("cannot enter %1").arg(options.directory)));
        return 3;
    }
    UiStallMeter meter;
    SoakWindow win;
    if (!win.waitActivated()) {
        say(error(QStringLiteral("the window was never activated")));
        return 3;
    }
    say(at(Kind::Ready, 0));
    // The chart as hours of capture leave it: the heap samples below then
    // show what a long run keeps adding, not the chart's drawing filling
    // its width.
    FillChartPastItsWidth(*win.w->chart(), 151, kCapturePeriodSeconds);

    const QList<SoakPhase> phases = soakPhases();
    K4SimLauncher sim(K4SimLauncher::Wait::RunEvents);
    sim.setProgram(options.k4simPath);
    sim.setDiscardOutput(true);

    // A handler that never returns keeps this loop from going on while the
    // window still handles events (nested waits): say so, the driver ends us.
    int current = -1;
    qint64 currentDeadline = 0;
    bool stuckReported = false;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, &watchdog, [&] {
        if (!stuckReported && current >= 0 && nowMs() > currentDeadline + kStuckAfterMs) {
            stuckReported = true;
            say(at(Kind::Stuck, current, meter.activity()));
        }
    });
    watchdog.start(1000);

    // Heap in use and the chart's point storage once a minute: the driver fits
    // the long-run growth from them.
    QTimer heapSampler;
    QObject::connect(&heapSampler, &QTimer::timeout, &heapSampler, [&win] {
        const struct mallinfo2 m = mallinfo2();
        Event heap = at(Kind::Heap, 0);
        heap.heapBytes = double(m.uordblks + m.hblkhd);
        heap.chartBytes = double(win.w->chart()->StoredBytes());
        say(heap);
    });
    heapSampler.start(60 * 1000);

    for (int i = options.fromPhase; i < phases.size(); ++i) {
        const SoakPhase& phase = phases.at(i);
        const qint64 phaseStart = nowMs();
        current = i;
        currentDeadline = phaseStart + qint64(options.phaseSeconds) * 1000;
        meter.resetWindow();
        Event started = at(Kind::Phase, i, phase.name);
        started.atMs = phaseStart;
        say(started);

        meter.setActivity(QStringLiteral("starting k4sim"));
        const QString log = QDir(options.directory).filePath(QStringLiteral("k4sim-%1.log").arg(phase.name));
        sim.setLogFile(log);
        // The time limit ends the simulator even if this process dies without stopping it.
        if (!sim.start(
                phase.simOptions
                + QStringList{QStringLiteral("--exit-after-seconds"), QString::number(options.phaseSeconds + 120)})) {
            say(error(sim.error()));
            return 3;
        }
        win.aimAt(sim.port());
        connectAndCapture(win, meter, i);

        const qint64 deadline = phaseStart + qint64(options.phaseSeconds) * 1000;
        bool connected = win.w->S.bConnectionStatus;
        int reconnects = 0;
        meter.setActivity(QStringLiteral("running"));
        while (nowMs() < deadline) {
            spinFor(50);
            win.reportBoxes(i);
            const bool nowConnected = win.w->S.bConnectionStatus;
            if (connected && !nowConnected)
                say(at(Kind::LinkDown, i));
            connected = nowConnected;
            if (!connected && phase.reconnectOnDrop && deadline - nowMs() > 3000) {
                // Let the window finish hearing about the drop, then connect again.
                spinFor(300);
                connectAndCapture(win, meter, i);
                connected = win.w->S.bConnectionStatus;
                ++reconnects;
                meter.setActivity(QStringLiteral("running"));
            }
        }

        meter.setActivity(QStringLiteral("stopping k4sim"));
        sim.stop();
        // The radio is gone: the window must notice and drop the link by itself.
        if (spinUntil([&win] { return !win.w->S.bConnectionStatus; }, 5000)) {
            if (connected)
                say(at(Kind::LinkDown, i));
        } else {
            say(at(Kind::LinkStuck, i));
        }
        win.reportBoxes(i);
        Event ended = at(Kind::PhaseEnd, i, meter.longestGapActivity());
        ended.longestGapMs = meter.longestGapMs();
        ended.longestConnectGapMs = meter.longestConnectGapMs();
        ended.ticks = meter.ticks();
        ended.reconnects = reconnects;
        say(ended);
    }

    if (win.w->S.FileWrite)
        win.click(win.ui().bEndCapture);
    win.reportBoxes(phases.size());
    say(at(Kind::Done, 0));
    return 0;
}

int runCaptureChild(const Options& options)
{
    if (!QDir::setCurrent(options.directory)) {
        say(error(QStringLiteral("cannot enter %1").arg(options.directory)));
        return 3;
    }
    SoakWindow win;
    if (!win.waitActivated()) {
        say(error(QStringLiteral("the window was never activated")));
        return 3;
    }
    win.aimAt(options.port);
    win.click(win.ui().bStartPoller);
    if (!win.w->S.bConnectionStatus) {
        say(error(QStringLiteral("no connection to port %1").arg(options.port)));
        return 3;
    }
    // The first reading is in before the capture starts, so every period has some.
    if (!spinUntil([&win] { return win.ui().lReturnedData->text().contains(QLatin1String("SMH")); }, 10000)) {
        say(error(QStringLiteral("no reading from the radio")));
        return 3;
    }
    win.ui().seHowLong->setText(QString::number(kCapturePeriodSeconds));
    win.ui().Additionaldata->setText(options.suffix);
    win.click(win.ui().bBeginCapture);
    // Begin Capture has no wait: the period started within this millisecond.
    const qint64 begun = nowMs();
    if (!win.w->S.FileWrite) {
        say(error(QStringLiteral("the capture did not start")));
        return 3;
    }
    Event captured = at(Kind::Capture, 0, win.w->S.sFileName);
    captured.atMs = begun;
    say(captured);
    spinFor(options.lifetimeSeconds * 1000);
    return 4;
}

}  // namespace WindowSoak
