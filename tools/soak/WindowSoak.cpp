#include "WindowSoak.h"

#include "EventWait.h"
#include "SimRunner.h"
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
using SoakProtocol::say;

namespace {

// How long a phase may overrun (stopping the simulator, a last connect) before it counts as stuck.
constexpr qint64 kStuckAfterMs = 20000;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
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
        FormatSettings::setCurrent(FormatSettings{});
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

    bool waitActivated() { return spinUntil([this] { return w->activated(); }, 5000); }
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
            say(QStringLiteral("BOX %1 %2 %3").arg(phase).arg(box.kind, oneLine(box.text)));
        }
    }

    RecordingBoxes boxes;  // before the window: it must outlive it
    std::unique_ptr<Tfrm_framework> w;

private:
    qsizetype m_reportedBoxes = 0;
};

// Start Poller, then Begin Capture with the soak's period and suffix, as a user would.
void connectAndCapture(SoakWindow& win, UiStallMeter& meter, int phase)
{
    say(QStringLiteral("STARTPOLLER %1 %2").arg(phase).arg(nowMs()));
    meter.setActivity(QStringLiteral("Start Poller click"));
    meter.markConnectStart();
    win.click(win.ui().bStartPoller);
    if (!win.w->S.bConnectionStatus)
        say(QStringLiteral("NOCONNECT %1 %2").arg(phase).arg(nowMs()));
    win.ui().seHowLong->setText(QString::number(kCapturePeriodSeconds));
    win.ui().Additionaldata->setText(kCaptureSuffix);
    meter.setActivity(QStringLiteral("Begin Capture click"));
    win.click(win.ui().bBeginCapture);
    if (win.w->S.FileWrite)
        say(QStringLiteral("CAPTURE %1 %2 %3").arg(phase).arg(nowMs()).arg(win.w->S.sFileName));
    else
        say(QStringLiteral("NOCAPTURE %1 %2").arg(phase).arg(nowMs()));
}

} // namespace

namespace WindowSoak {

int runSoak(const Options& options)
{
    if (!QDir::setCurrent(options.directory)) {
        say(QStringLiteral("ERROR cannot enter %1").arg(options.directory));
        return 3;
    }
    UiStallMeter meter;
    SoakWindow win;
    if (!win.waitActivated()) {
        say(QStringLiteral("ERROR the window was never activated"));
        return 3;
    }
    say(QStringLiteral("READY %1").arg(nowMs()));

    const QList<SoakPhase> phases = soakPhases();
    SimRunner sim;

    // A handler that never returns keeps this loop from going on while the
    // window still handles events (nested waits): say so, the driver ends us.
    int current = -1;
    qint64 currentDeadline = 0;
    bool stuckReported = false;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, &watchdog, [&] {
        if (!stuckReported && current >= 0 && nowMs() > currentDeadline + kStuckAfterMs) {
            stuckReported = true;
            say(QStringLiteral("STUCK %1 %2 %3").arg(current).arg(nowMs()).arg(meter.activity()));
        }
    });
    watchdog.start(1000);

    // Heap in use and the chart's point storage once a minute: the driver fits
    // the long-run growth from them.
    QTimer heapSampler;
    QObject::connect(&heapSampler, &QTimer::timeout, &heapSampler, [&win] {
        const struct mallinfo2 m = mallinfo2();
        say(QStringLiteral("HEAP %1 %2 %3")
                .arg(nowMs())
                .arg(qulonglong(m.uordblks + m.hblkhd))
                .arg(qulonglong(win.w->chart()->StoredBytes())));
    });
    heapSampler.start(60 * 1000);

    for (int i = options.fromPhase; i < phases.size(); ++i) {
        const SoakPhase& phase = phases.at(i);
        const qint64 phaseStart = nowMs();
        current = i;
        currentDeadline = phaseStart + qint64(options.phaseSeconds) * 1000;
        meter.resetWindow();
        say(QStringLiteral("PHASE %1 %2 %3").arg(i).arg(phaseStart).arg(phase.name));

        meter.setActivity(QStringLiteral("starting k4sim"));
        const QString log = QDir(options.directory).filePath(QStringLiteral("k4sim-%1.log").arg(phase.name));
        if (!sim.start(options.k4simPath, phase.simOptions, log, options.phaseSeconds + 120)) {
            say(QStringLiteral("ERROR %1").arg(sim.error()));
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
                say(QStringLiteral("LINKDOWN %1 %2").arg(i).arg(nowMs()));
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
                say(QStringLiteral("LINKDOWN %1 %2").arg(i).arg(nowMs()));
        } else {
            say(QStringLiteral("LINKSTUCK %1 %2").arg(i).arg(nowMs()));
        }
        win.reportBoxes(i);
        say(QStringLiteral("PHASEEND %1 %2 %3 %4 %5 %6 %7")
                .arg(i)
                .arg(nowMs())
                .arg(meter.longestGapMs(), 0, 'f', 1)
                .arg(meter.longestConnectGapMs(), 0, 'f', 1)
                .arg(meter.ticks())
                .arg(reconnects)
                .arg(meter.longestGapActivity()));
    }

    if (win.w->S.FileWrite)
        win.click(win.ui().bEndCapture);
    win.reportBoxes(phases.size());
    say(QStringLiteral("DONE %1").arg(nowMs()));
    return 0;
}

int runCaptureChild(const Options& options)
{
    if (!QDir::setCurrent(options.directory)) {
        say(QStringLiteral("ERROR cannot enter %1").arg(options.directory));
        return 3;
    }
    SoakWindow win;
    if (!win.waitActivated()) {
        say(QStringLiteral("ERROR the window was never activated"));
        return 3;
    }
    win.aimAt(options.port);
    win.click(win.ui().bStartPoller);
    if (!win.w->S.bConnectionStatus) {
        say(QStringLiteral("ERROR no connection to port %1").arg(options.port));
        return 3;
    }
    // The first reading is in before the capture starts, so every period has some.
    if (!spinUntil([&win] { return win.ui().lReturnedData->text().contains(QLatin1String("SMH")); }, 10000)) {
        say(QStringLiteral("ERROR no reading from the radio"));
        return 3;
    }
    win.ui().seHowLong->setText(QString::number(kCapturePeriodSeconds));
    win.ui().Additionaldata->setText(options.suffix);
    win.click(win.ui().bBeginCapture);
    // Begin Capture has no wait: the period started within this millisecond.
    const qint64 begun = nowMs();
    if (!win.w->S.FileWrite) {
        say(QStringLiteral("ERROR the capture did not start"));
        return 3;
    }
    say(QStringLiteral("CAPTURE %1 %2").arg(begun).arg(win.w->S.sFileName));
    spinFor(options.lifetimeSeconds * 1000);
    return 4;
}

} // namespace WindowSoak
