// Polls the bundled radio simulator through the real window while a capture
// with a 2 s period runs, then prints what it cost and how regular it was.
//
//   poll_bench                    60 s of polling
//   poll_bench --seconds N        N s instead
//   poll_bench --k4sim PATH       the simulator to run (default: the one built with it)
//   poll_bench --dir PATH         capture into PATH (default: a temporary folder), to
//                                 compare a disk with a tmpfs such as /dev/shm
//   poll_bench --without-sync     the writer's syncs skipped: the baseline to compare with
//   poll_bench --slow-sync [MS]   every sync takes MS ms more (default 3000), as a slow or
//                                 sleeping disk does: the polls and records must not suffer
//   poll_bench --empty-chart      the chart starts empty instead of filled past its width
//
// Runs of 10 minutes or more also print the long-run memory figure: heap in
// use and RSS sampled once a minute after a warm-up, with the growth per day
// from a least-squares fit, the chart's points apart from everything else.
// Before the measured stretch the chart is given the points of a capture
// that has run for hours: until every pixel column is reduced, Qt Charts'
// geometry for the drawn points grows with each point (about 1 MiB over the
// first two hours of a 2 s capture, then no more), and an hour's fit would
// take that bounded start for a leak. --empty-chart measures that start.
//
// The window runs in this process on the offscreen platform (unless
// QT_QPA_PLATFORM says otherwise) with every modal box recorded instead of
// shown; the capture file goes to a temporary working directory. The
// simulator runs with --verbose and its log is read on a thread of its own,
// so each "sm;" it receives is timestamped on arrival.

#include "ProcStatus.h"

#include "K4SimLauncher.h"
#include "K4Status_U.h"
#include "RecordingBoxes.h"
#include "ui_K4Status_U.h"

#include "CaptureWriter.h"
#include "ChartFilledPastItsWidth.h"
#include "FormatSettings.h"
#include "LevelChart.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPeriodSeconds = 2;
// The simulator's fixed high-resolution reading, which every period averages to.
constexpr int kFixedSmh = 151;
constexpr double kCpuLimitPercent = 1.0;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// --- Linux process figures ----------------------------------------------

// User plus system CPU time of the whole process (every thread).
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto secs = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return secs(u.ru_utime) + secs(u.ru_stime);
}

// --- The simulator, watched from its own thread -------------------------

class SimWatch {
public:
    explicit SimWatch(const QString& program) : m_program(program) {}
    ~SimWatch() { stop(); }

    // Starts the simulator and waits for its port; 0 when it did not come up.
    quint16 start()
    {
        m_thread = std::thread([this] { run(); });
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_started; });
        return m_port;
    }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    std::vector<Clock::time_point> times(const QByteArray& command) const
    {
        std::lock_guard lock(m_mutex);
        std::vector<Clock::time_point> out;
        for (const auto& [when, what] : m_commands)
            if (command == what.c_str())
                out.push_back(when);
        return out;
    }

    // Room for this many seconds of commands up front: the bench's own log
    // must not show up as growth in the heap figures it prints.
    void reserveFor(int seconds)
    {
        std::lock_guard lock(m_mutex);
        m_commands.reserve(std::size_t(seconds + 60) * 4);
    }

private:
    void run()
    {
        K4SimLauncher launcher;
        launcher.setProgram(m_program);
        launcher.start({QStringLiteral("--fixed-sm"), QStringLiteral("12"), QStringLiteral("--fixed-smh"),
                        QString::number(kFixedSmh), QStringLiteral("--verbose")});
        const quint16 port = launcher.port();
        QProcess& sim = launcher.process();
        {
            std::lock_guard lock(m_mutex);
            m_port = port;
            m_started = true;
        }
        m_ready.notify_all();

        // Every log line is read as it arrives; a full pipe would stall the simulator.
        static const QRegularExpression command(QStringLiteral("received command \"([^\"]*)\""));
        sim.setReadChannel(QProcess::StandardError);
        QByteArray pending;
        while (port != 0 && !m_stop && sim.state() == QProcess::Running) {
            if (!sim.waitForReadyRead(200))
                continue;
            const Clock::time_point now = Clock::now();
            pending += sim.readAllStandardError();
            qsizetype eol;
            while ((eol = pending.indexOf('\n')) >= 0) {
                const auto m = command.match(QString::fromLatin1(pending.left(eol)));
                pending.remove(0, eol + 1);
                if (m.hasMatch()) {
                    std::lock_guard lock(m_mutex);
                    m_commands.emplace_back(now, m.captured(1).toStdString());  // short: kept inline
                }
            }
            sim.readAllStandardOutput();
        }
        launcher.stop();
    }

    QString m_program;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    bool m_started = false;
    quint16 m_port = 0;
    std::vector<std::pair<Clock::time_point, std::string>> m_commands;
};

// --- Ticks of the window's timers, stamped before their handlers run ----

class TickStamps : public QObject {
public:
    std::vector<Clock::time_point> stamps;
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::Timer)
            stamps.push_back(Clock::now());
        return QObject::eventFilter(watched, e);
    }
};

// --- Figures -------------------------------------------------------------

struct Spread {
    double min = 0, median = 0, max = 0;
    int count = 0;
};

Spread spreadOf(std::vector<double> v)
{
    Spread s;
    s.count = int(v.size());
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.min = v.front();
    s.max = v.back();
    const std::size_t m = v.size() / 2;
    s.median = v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2.0;
    return s;
}

std::vector<double> intervalsMs(const std::vector<Clock::time_point>& t)
{
    std::vector<double> out;
    for (std::size_t i = 1; i < t.size(); ++i)
        out.push_back(msBetween(t[i - 1], t[i]));
    return out;
}

// Seconds of the day of each "MM/DD/YY,HH:NN:SS,smh,level" record.
std::vector<int> recordSeconds(const QString& path, int* badLines)
{
    std::vector<int> out;
    *badLines = 0;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    static const QRegularExpression record(
        QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,(\\d\\d):(\\d\\d):(\\d\\d),\\d+,-?\\d+$"));
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.isEmpty())
            continue;
        const auto m = record.match(line);
        if (!m.hasMatch()) {
            ++*badLines;
            continue;
        }
        out.push_back(m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt());
    }
    return out;
}

const char* verdict(bool met)
{
    return met ? "met" : "NOT MET";
}

// Runs the event loop for ms milliseconds (handlers' own waits nest inside it).
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

// --- The capture writer's file calls, timed ------------------------------

// The calls come from the capture's writer thread; the figures are read once
// the writer has closed the file.
class TimedFileCalls : public CaptureWriter::FileCalls {
public:
    TimedFileCalls(bool withoutSync, int slowSyncMs) : m_withoutSync(withoutSync), m_slowSyncMs(slowSyncMs)
    {
        install(this);
    }
    ~TimedFileCalls() override { install(nullptr); }

    std::vector<double> syncMs, writeMs;
    std::atomic<int> closes{0};

    int openForAppend(const QString& name, bool* created) override { return real().openForAppend(name, created); }
    long long write(int fd, const char* data, std::size_t size) override
    {
        const Clock::time_point t = Clock::now();
        const long long n = real().write(fd, data, size);
        writeMs.push_back(msBetween(t, Clock::now()));
        return n;
    }
    int syncData(int fd) override
    {
        if (m_withoutSync)
            return 0;
        const Clock::time_point t = Clock::now();
        if (m_slowSyncMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_slowSyncMs));
        const int r = real().syncData(fd);
        syncMs.push_back(msBetween(t, Clock::now()));
        return r;
    }
    int syncDirectory(const QString& directory) override { return m_withoutSync ? 0 : real().syncDirectory(directory); }
    int truncate(int fd, long long size) override { return real().truncate(fd, size); }
    long long size(int fd) override { return real().size(fd); }
    int close(int fd) override
    {
        const int r = real().close(fd);
        ++closes;
        return r;
    }
    int remove(const QString& name) override { return real().remove(name); }
    int sameFile(int fd, const QString& name) override { return real().sameFile(fd, name); }

private:
    static FileCalls& real() { return FileCalls::system(); }
    bool m_withoutSync;
    int m_slowSyncMs;
};

// --- Long-run memory ------------------------------------------------------

struct MemorySample {
    double minute = 0;
    double heapBytes = 0;  // malloc'ed and still in use
    double rssBytes = 0;
    double chartBytes = 0;  // the chart's point storage, capacity included
    qsizetype chartPoints = 0;
    qsizetype drawnPoints = 0;
};

double heapInUseBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks) + double(m.hblkhd);
}

// Least-squares slope of y over x.
double slope(const std::vector<double>& x, const std::vector<double>& y)
{
    const double n = double(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double d = n * sxx - sx * sx;
    return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    int seconds = 60;
    QString simPath = K4SimLauncher::builtProgram();
    QString captureDir;
    bool withoutSync = false;
    int slowSyncMs = 0;
    bool emptyChart = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seconds") && i + 1 < args.size()) {
            seconds = std::max(4, args[++i].toInt());
        } else if (args[i] == QLatin1String("--k4sim") && i + 1 < args.size()) {
            simPath = args[++i];
        } else if (args[i] == QLatin1String("--dir") && i + 1 < args.size()) {
            captureDir = args[++i];
        } else if (args[i] == QLatin1String("--without-sync")) {
            withoutSync = true;
        } else if (args[i] == QLatin1String("--slow-sync")) {
            slowSyncMs = 3000;
            if (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--")))
                slowSyncMs = std::max(1, args[++i].toInt());
        } else if (args[i] == QLatin1String("--empty-chart")) {
            emptyChart = true;
        } else {
            std::fprintf(stderr,
                         "usage: poll_bench [--seconds N] [--k4sim PATH] [--dir PATH] [--without-sync]\n"
                         "                  [--slow-sync [MS]] [--empty-chart]\n");
            return 2;
        }
    }

    // Records must not depend on the machine's regional settings.
    QLocale::setDefault(QLocale::c());
    const FormatSettings::Override cLocaleTexts(FormatSettings{});
    QTemporaryDir dir((captureDir.isEmpty() ? QDir::tempPath() : captureDir) + QStringLiteral("/poll_bench-XXXXXX"));
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "poll_bench: no temporary working directory\n");
        return 1;
    }

    SimWatch sim(simPath);
    sim.reserveFor(seconds);
    const quint16 port = sim.start();
    if (port == 0) {
        std::fprintf(stderr, "poll_bench: the simulator %s did not start\n", qPrintable(simPath));
        return 1;
    }

    RecordingBoxes boxes;
    TimedFileCalls fileCalls(withoutSync, slowSyncMs);
    auto w = std::make_unique<Tfrm_framework>();
    TickStamps pollTicks, captureTicks;
    // Every per-tick record has its room before the measured stretch starts.
    const std::size_t ticksExpected = std::size_t(seconds) + 120;
    pollTicks.stamps.reserve(ticksExpected);
    captureTicks.stamps.reserve(ticksExpected);
    fileCalls.syncMs.reserve(ticksExpected);
    fileCalls.writeMs.reserve(ticksExpected);
    w->Poller->installEventFilter(&pollTicks);
    w->UserTimer->installEventFilter(&captureTicks);
    // Connected after the window's handler: stamps the end of each integration tick.
    std::vector<double> captureTickMs;
    captureTickMs.reserve(ticksExpected);
    QObject::connect(w->UserTimer, &QTimer::timeout, w.get(), [&] {
        if (!captureTicks.stamps.empty())
            captureTickMs.push_back(msBetween(captureTicks.stamps.back(), Clock::now()));
    });
    w->show();
    w->activateWindow();
    if (!waitUntil([&] { return w->activated(); }, 5000)) {
        std::fprintf(stderr, "poll_bench: the window never became active\n");
        return 1;
    }

    auto& ui = w->form();
    ui.HostAddress->setText(QStringLiteral("127.0.0.1"));
    ui.PortAddress->setText(QString::number(port));
    ui.bStartPoller->click();
    if (!w->S.bConnectionStatus || !w->Poller->isActive()) {
        std::fprintf(stderr, "poll_bench: Start Poller did not connect\n");
        return 1;
    }
    ui.seHowLong->setText(QString::number(kPeriodSeconds));
    ui.Additionaldata->setText(QStringLiteral("bench"));
    const std::size_t ticksBeforeCapture = captureTicks.stamps.size();
    ui.bBeginCapture->click();
    const Clock::time_point captureStart = Clock::now();
    if (!w->S.FileWrite) {
        std::fprintf(stderr, "poll_bench: Begin Capture did not open a file\n");
        return 1;
    }
    const QString capturePath = w->S.sFileName;

    // The chart as hours of capture leave it, so that the figures show what
    // a long run keeps adding.
    struct {
        qsizetype added = 0;
        int columns = 0;
        double heapBeyondPoints = 0;  // the drawing's geometry, labels and the like
    } prefill;
    if (!emptyChart) {
        LevelChart& chart = *w->chart();
        const double heapBefore = heapInUseBytes() - double(chart.StoredBytes());
        prefill.added = FillChartPastItsWidth(chart, kFixedSmh, kPeriodSeconds);
        prefill.columns = chart.PlotColumns();
        runFor(500);  // drawn at least once
        prefill.heapBeyondPoints = heapInUseBytes() - double(chart.StoredBytes()) - heapBefore;
    }

    // A short settling time, then the measured stretch.
    runFor(1000);
    const long rssStart = ProcStatusKib("VmRSS");
    const double cpuStart = cpuSeconds();
    const Clock::time_point wallStart = Clock::now();
    // RSS once a second, to tell warm-up from a steady leak.
    std::vector<long> rssSamples;
    rssSamples.reserve(ticksExpected);
    QTimer sampler;
    sampler.setInterval(1000);
    QObject::connect(&sampler, &QTimer::timeout, &sampler, [&] { rssSamples.push_back(ProcStatusKib("VmRSS")); });
    sampler.start();
    // Heap and RSS once a minute after a warm-up, for the long-run figure.
    const bool longRun = seconds >= 600;
    const int warmupSeconds = std::min(300, seconds / 5);
    std::vector<MemorySample> memory;
    memory.reserve(std::size_t(seconds / 60) + 2);
    QTimer memorySampler;
    memorySampler.setInterval(60 * 1000);
    auto sampleMemory = [&] {
        memory.push_back({double(memory.size()), heapInUseBytes(), double(ProcStatusKib("VmRSS")) * 1024.0,
                          double(w->chart()->StoredBytes()), w->chart()->Count(), w->chart()->DrawnPoints()});
    };
    QObject::connect(&memorySampler, &QTimer::timeout, &memorySampler, sampleMemory);
    if (longRun)
        QTimer::singleShot(warmupSeconds * 1000, &memorySampler, [&] {
            sampleMemory();
            memorySampler.start();
        });
    runFor(seconds * 1000);
    sampler.stop();
    memorySampler.stop();
    const double cpuUsed = cpuSeconds() - cpuStart;
    const Clock::time_point wallEnd = Clock::now();
    const long rssEnd = ProcStatusKib("VmRSS");
    const long hwm = ProcStatusKib("VmHWM");

    // Let a tick that is due finish, then close the file through End Capture.
    waitUntil([&] { return !w->S.polleractive(); }, 3000);
    const qsizetype boxesWhilePolling = boxes.shown.size();
    const Clock::time_point captureEnd = Clock::now();
    QElapsedTimer endCapture;
    endCapture.start();
    ui.bEndCapture->click();
    const double endCaptureMs = double(endCapture.nsecsElapsed()) / 1e6;
    // End Capture waits for the writer a few seconds at most; a slow disk's
    // last records come after. The figures are read once it has closed the file.
    waitUntil([&] { return fileCalls.closes.load() > 0; }, 60000);
    ui.bStopPoller->click();
    waitUntil([&] { return !w->S.bConnectionStatus; }, 3000);
    w->S.bCloseRequest = true;  // tearing down the window must not ask
    w.reset();
    sim.stop();

    // ---- the figures
    const double wallSeconds = msBetween(wallStart, wallEnd) / 1000.0;
    const double cpuPercent = 100.0 * cpuUsed / wallSeconds;

    auto inWindow = [&](std::vector<Clock::time_point> t) {
        std::erase_if(t, [&](Clock::time_point p) { return p < wallStart || p > wallEnd; });
        return t;
    };
    const auto smTimes = inWindow(sim.times("sm;"));
    const Spread sm = spreadOf(intervalsMs(smTimes));
    const double expectedSm = wallSeconds;  // one "sm;" per second
    const auto pollStamps = inWindow(pollTicks.stamps);
    const Spread poll = spreadOf(intervalsMs(pollStamps));

    std::vector<Clock::time_point> integration(captureTicks.stamps.begin() + std::ptrdiff_t(ticksBeforeCapture),
                                               captureTicks.stamps.end());
    std::erase_if(integration, [&](Clock::time_point p) { return p > captureEnd; });
    const Spread tick = spreadOf(intervalsMs(integration));
    // Drift: how far the last integration tick is from where whole periods
    // after Begin Capture would put it.
    double tickDriftMs = 0;
    if (!integration.empty())
        tickDriftMs
            = msBetween(captureStart, integration.back()) - double(integration.size()) * kPeriodSeconds * 1000.0;

    int badLines = 0;
    std::vector<int> rec = recordSeconds(capturePath, &badLines);
    for (std::size_t i = 1; i < rec.size(); ++i)
        while (rec[i] < rec[i - 1])
            rec[i] += 86400;  // past midnight
    std::vector<double> recGaps;
    for (std::size_t i = 1; i < rec.size(); ++i)
        recGaps.push_back(rec[i] - rec[i - 1]);
    const Spread recGap = spreadOf(recGaps);
    const double captureSeconds = msBetween(captureStart, captureEnd) / 1000.0;
    const double pollsPerMinute = double(smTimes.size()) * 60.0 / wallSeconds;
    const int expectedRecords = int(std::floor(captureSeconds / kPeriodSeconds));
    // Clock-second stamps: a record may read up to 1 s off its ideal place.
    int recDrift = 0;
    for (std::size_t i = 0; i < rec.size(); ++i)
        recDrift = std::max(recDrift, std::abs(rec[i] - rec.front() - int(i) * kPeriodSeconds));

    std::printf("Polling under load: %d s of polling against k4sim on 127.0.0.1:%u, capture period %d s\n\n", seconds,
                unsigned(port), kPeriodSeconds);
    std::printf("%-44s %-28s %-16s %s\n", "figure", "measured", "target", "");
    auto row = [](const char* name, const QString& value, const char* target, std::optional<bool> met) {
        std::printf("%-44s %-28s %-16s %s\n", name, qPrintable(value), target, met ? verdict(*met) : "");
    };
    row("CPU time / wall time (% of one core)",
        QString::asprintf("%.2f %% (%.2f s / %.1f s)", cpuPercent, cpuUsed, wallSeconds), "< 1 %",
        cpuPercent < kCpuLimitPercent);
    row("peak memory (VmHWM)", QString::asprintf("%ld KiB", hwm), "", std::nullopt);
    row("RSS at start / end of polling", QString::asprintf("%ld / %ld KiB", rssStart, rssEnd), "", std::nullopt);
    row("RSS growth",
        QString::asprintf("%+ld KiB (%+.1f KiB/min)", rssEnd - rssStart,
                          double(rssEnd - rssStart) * 60.0 / wallSeconds),
        "", std::nullopt);
    if (rssSamples.size() >= 4) {
        const std::size_t half = rssSamples.size() / 2;
        const double lateSlope
            = double(rssSamples.back() - rssSamples[half]) * 60.0 / double(rssSamples.size() - 1 - half);
        row("RSS growth in the second half",
            QString::asprintf("%+ld KiB (%+.1f KiB/min)", rssSamples.back() - rssSamples[half], lateSlope), "",
            std::nullopt);
    }
    const bool smMedianOk = sm.count > 0 && std::abs(sm.median - 1000.0) <= 50.0;
    const bool smMaxOk = sm.count > 0 && sm.max < 2000.0;
    row("\"sm;\" at simulator: interval median", QString::asprintf("%.1f ms", sm.median), "1000 ms (+-50)", smMedianOk);
    row("\"sm;\" at simulator: interval min / max", QString::asprintf("%.1f / %.1f ms", sm.min, sm.max),
        "max < 2000 ms", smMaxOk);
    const bool smCountOk = smTimes.size() + 1 >= std::size_t(expectedSm);
    row("\"sm;\" received / seconds polled", QString::asprintf("%zu / %.1f", smTimes.size(), expectedSm), "none missed",
        smCountOk);
    row("poll tick (window timer): min/median/max",
        QString::asprintf("%.1f / %.1f / %.1f ms", poll.min, poll.median, poll.max), "", std::nullopt);
    row("integration tick: min/median/max", QString::asprintf("%.1f / %.1f / %.1f ms", tick.min, tick.median, tick.max),
        "2000 ms", tick.count > 0 && tick.max < 2000.0 * 1.5 && tick.min > 2000.0 * 0.5);
    const bool tickDriftOk = integration.size() > 1 && std::abs(tickDriftMs) < 0.5 * kPeriodSeconds * 1000.0;
    row("integration tick: drift after last tick",
        QString::asprintf("%+.1f ms over %zu ticks", tickDriftMs, integration.size()), "no drift", tickDriftOk);
    const bool recGapOk = recGap.count > 0 && recGap.min >= kPeriodSeconds - 1 && recGap.max <= kPeriodSeconds + 1;
    row("records: interval min/median/max (s)",
        QString::asprintf("%.0f / %.0f / %.0f", recGap.min, recGap.median, recGap.max), "2 s (clock s)", recGapOk);
    const bool recCountOk = badLines == 0 && std::abs(int(rec.size()) - expectedRecords) <= 0;
    row("records: count / capture time / period",
        QString::asprintf("%zu / %d (%.1f s)%s", rec.size(), expectedRecords, captureSeconds,
                          badLines ? " BAD LINES" : ""),
        "equal", recCountOk);
    row("records: max offset from first + k*period", QString::asprintf("%d s", recDrift), "<= 1 s",
        !rec.empty() && recDrift <= 1);
    const bool pollsPerMinuteOk = std::abs(pollsPerMinute - 60.0) <= 1.5;
    row("polls per minute (\"sm;\" at simulator)", QString::asprintf("%.1f", pollsPerMinute), "60", pollsPerMinuteOk);
    const double recordsPerPeriod = expectedRecords > 0 ? double(rec.size()) / double(expectedRecords) : 0.0;
    row("records per period", QString::asprintf("%.2f", recordsPerPeriod), "1", recCountOk);
    row("End Capture: time the window waited", QString::asprintf("%.0f ms", endCaptureMs), "<= 3000 ms (+-100)",
        endCaptureMs <= 3100.0);
    const Spread handler = spreadOf(captureTickMs);
    row("integration tick: time in the handler",
        QString::asprintf("%.2f / %.2f / %.2f ms (min/median/max)", handler.min, handler.median, handler.max), "",
        std::nullopt);
    if (slowSyncMs > 0)
        row("sync made slow by", QString::asprintf("%d ms each (--slow-sync)", slowSyncMs), "", std::nullopt);
    if (withoutSync) {
        row("sync per record", QStringLiteral("skipped (--without-sync)"), "", std::nullopt);
    } else {
        const Spread sync = spreadOf(fileCalls.syncMs);
        double syncTotal = 0;
        for (double v : fileCalls.syncMs)
            syncTotal += v;
        row("sync per record: min/median/max",
            QString::asprintf("%.2f / %.2f / %.2f ms (%d syncs)", sync.min, sync.median, sync.max, sync.count), "",
            std::nullopt);
        row("sync per record: mean", QString::asprintf("%.2f ms", sync.count ? syncTotal / sync.count : 0.0), "",
            std::nullopt);
    }
    const Spread write = spreadOf(fileCalls.writeMs);
    row("write per record: median / max", QString::asprintf("%.3f / %.3f ms", write.median, write.max), "",
        std::nullopt);
    std::printf("capture folder: %s\n", qPrintable(QDir(dir.path()).absolutePath()));

    if (longRun) {
        std::printf("\nLong-run memory: sampled once a minute after %d s of warm-up\n", warmupSeconds);
        if (emptyChart)
            std::printf("  the chart started empty: its drawing grows until every pixel column is reduced\n");
        else
            std::printf(
                "  the chart started with %lld points over %d pixel columns; drawing them took %+.0f KiB "
                "beyond the points\n",
                static_cast<long long>(prefill.added), prefill.columns, prefill.heapBeyondPoints / 1024.0);
        if (memory.size() < 3) {
            std::printf("  too few samples (%zu)\n", memory.size());
        } else {
            std::vector<double> x, heapOther, rss, chart;
            for (const MemorySample& m : memory) {
                x.push_back(m.minute);
                heapOther.push_back(m.heapBytes - m.chartBytes);
                rss.push_back(m.rssBytes);
                chart.push_back(m.chartBytes);
            }
            constexpr double kMinutesPerDay = 1440.0, kMiB = 1024.0 * 1024.0;
            const MemorySample& first = memory.front();
            const MemorySample& last = memory.back();
            const double perPoint = last.chartPoints > 0 ? last.chartBytes / double(last.chartPoints) : 0.0;
            const double pointsPerDay = 86400.0 / kPeriodSeconds;
            const double otherPerDay = slope(x, heapOther) * kMinutesPerDay / kMiB;
            std::printf("  %-44s %-28s %-16s %-24s %s\n", "minute", "heap in use", "RSS", "chart points (bytes)",
                        "drawn points");
            for (const MemorySample& m : memory)
                std::printf(
                    "  %-44.0f %-28.0f %-16.0f %-24s %lld\n", m.minute, m.heapBytes, m.rssBytes,
                    qPrintable(QString::asprintf("%lld (%.0f)", static_cast<long long>(m.chartPoints), m.chartBytes)),
                    static_cast<long long>(m.drawnPoints));
            row("heap beyond the chart's points: growth",
                QString::asprintf("%+.3f MiB/day (%.0f -> %.0f B)", otherPerDay, first.heapBytes - first.chartBytes,
                                  last.heapBytes - last.chartBytes),
                "< 1 MiB/day", otherPerDay < 1.0);
            row("chart's points: growth (fit)",
                QString::asprintf("%+.3f MiB/day", slope(x, chart) * kMinutesPerDay / kMiB), "", std::nullopt);
            row("chart's points: bytes/point x points/day",
                QString::asprintf("%.1f B x %.0f = %.2f MiB/day", perPoint, pointsPerDay,
                                  perPoint * pointsPerDay / kMiB),
                "as now", std::nullopt);
            row("RSS: growth (fit)", QString::asprintf("%+.3f MiB/day", slope(x, rss) * kMinutesPerDay / kMiB), "",
                std::nullopt);
        }
    }
    std::printf("\nBoxes shown: %lld (%lld while polling)\n", static_cast<long long>(boxes.shown.size()),
                static_cast<long long>(boxesWhilePolling));
    for (const auto& s : boxes.shown)
        std::printf("  %s: %s\n", qPrintable(s.kind), qPrintable(s.text));
    const bool all = cpuPercent < kCpuLimitPercent && smMedianOk && smMaxOk && smCountOk && tickDriftOk && recGapOk
                     && recCountOk && recDrift <= 1 && pollsPerMinuteOk && endCaptureMs <= 3100.0
                     && boxesWhilePolling == 0;
    std::printf("Overall: %s\n", all ? "targets met" : "targets NOT met");
    return 0;
}
