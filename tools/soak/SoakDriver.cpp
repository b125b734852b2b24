#include "SoakDriver.h"

#include "CaptureCheck.h"
#include "ProcessMemory.h"
#include "SoakPhases.h"
#include "SoakProtocol.h"
#include "UiStallMeter.h"
#include "WorkDir.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <memory>
#include <optional>

namespace SoakDriver {

namespace {

constexpr int kMinPhaseSeconds = 8;
constexpr double kMemoryTargetMiB = 10.0;
constexpr double kStallTargetMs = 250.0;
constexpr int kSampleMs = 250;
// The long-run heap figure: samples once a minute after this warm-up, and
// only from runs long enough to give this many.
constexpr qint64 kHeapWarmupMs = 5 * 60 * 1000;
constexpr int kHeapMinSamples = 10;
constexpr double kHeapTargetMiBPerDay = 1.0;

struct PhaseFigures {
    QString name;
    bool started = false;
    bool ended = false;
    int captures = 0;
    int linkDrops = 0;
    int reconnects = 0;
    int noConnect = 0;
    int linkStuck = 0;
    QMap<QString, int> boxes;  // kind -> count
    double longestGapMs = 0;
    double longestConnectGapMs = 0;
    QString gapActivity;
    qint64 endRssKiB = 0;
    double endHeapBeyondChartBytes = -1;  // the phase's last heap sample, when it had one
    QString crashed;                      // "crash" or "hang" when the child died in this phase
};

struct Run {
    QList<PhaseFigures> phases;
    QList<CaptureCheck::Capture> captures;  // in the order reported
    QStringList captureFiles;               // parallel to captures
    int crashes = 0;
    int hangs = 0;
    QStringList harnessErrors;
    // Memory of each child, from its first capture on.
    double worstGrowthMiB = 0;
    double worstHwmGrowthMiB = 0;
    qint64 baselineKiB = 0;
    qint64 peakKiB = 0;
    qint64 finalKiB = 0;
    // Heap in use and the chart's storage, once a minute, from the last child.
    struct HeapSample {
        qint64 ms = 0;
        double heapBytes = 0;
        double chartBytes = 0;
    };
    QList<HeapSample> heap;
};

// Growth per day of the heap beyond the chart's points, by a least-squares
// fit over the samples after the warm-up; nothing when there are too few.
std::optional<double> heapGrowthMiBPerDay(const QList<Run::HeapSample>& samples)
{
    if (samples.isEmpty())
        return std::nullopt;
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Run::HeapSample& s : samples) {
        if (s.ms < samples.front().ms + kHeapWarmupMs)
            continue;
        const double x = double(s.ms - samples.front().ms) / 86400000.0;  // days
        const double y = (s.heapBytes - s.chartBytes) / (1024.0 * 1024.0);
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double d = n * sxx - sx * sx;
    if (n < kHeapMinSamples || d == 0)
        return std::nullopt;
    return (n * sxy - sx * sy) / d;
}

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// Runs one child from phase `from`; returns the phase it was in when it ended
// (phases.size() when it finished them all).
int runChild(const Options& options, const QString& dir, int phaseSeconds, int from, int attempt, Run& run)
{
    QProcess child;
    child.setProgram(options.self);
    child.setArguments({QStringLiteral("--soak-child"), QStringLiteral("--dir"), dir, QStringLiteral("--phase-seconds"),
                        QString::number(phaseSeconds), QStringLiteral("--from-phase"), QString::number(from),
                        QStringLiteral("--k4sim"), options.k4simPath});
    child.setProcessEnvironment(childEnvironment());
    child.setStandardErrorFile(QDir(dir).filePath(QStringLiteral("child-%1.stderr").arg(attempt)));
    child.start();
    if (!child.waitForStarted(10000)) {
        run.harnessErrors << QStringLiteral("child did not start: %1").arg(child.errorString());
        return int(run.phases.size());
    }

    int current = from;
    bool done = false;
    run.heap.clear();  // a new child starts from its own baseline
    std::optional<qint64> baseline;
    qint64 peak = 0;
    qint64 last = 0;
    qint64 lastHwm = 0;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    // The child reports a stuck phase itself after 20 s; silence this long means its thread is blocked.
    const qint64 hangMs = qint64(phaseSeconds + 45) * 1000;
    QByteArray pending;
    const auto openCapture
        = [&run]() -> CaptureCheck::Capture* { return run.captures.isEmpty() ? nullptr : &run.captures.last(); };

    while (child.state() != QProcess::NotRunning) {
        child.waitForReadyRead(kSampleMs);
        if (const auto m = ProcessMemory::of(child.processId())) {
            last = m->rssKiB;
            lastHwm = m->hwmKiB;
            if (baseline)
                peak = std::max(peak, m->rssKiB);
        }
        pending += child.readAllStandardOutput();
        for (qsizetype nl; (nl = pending.indexOf('\n')) >= 0; pending.remove(0, nl + 1)) {
            const auto event = SoakProtocol::parse(pending.left(nl));
            if (!event)
                continue;
            sinceProgress.restart();
            using SoakProtocol::Kind;
            const Kind what = event->kind;
            const int phase = event->phase;
            const qint64 at = event->atMs;
            if (what == Kind::Phase) {
                current = phase;
                run.phases[phase].started = true;
                if (auto* cap = openCapture())  // the previous phase's capture stays open until Start Poller
                    cap->endMs = std::max(cap->endMs, at);
            } else if (what == Kind::StartPoller) {
                if (auto* cap = openCapture())
                    cap->endMs = at;
            } else if (what == Kind::Capture) {
                const SoakPhase p = soakPhases().at(phase);
                run.captures.append({p.name, p.rule, p.everyPeriodRecorded, at, at, {}});
                run.captureFiles.append(event->text);
                ++run.phases[phase].captures;
                if (run.phases[phase].captures > 1)
                    ++run.phases[phase].reconnects;
                if (!baseline && last > 0) {
                    baseline = last;
                    peak = last;
                }
            } else if (what == Kind::LinkDown) {
                ++run.phases[phase].linkDrops;
                if (auto* cap = openCapture())
                    cap->linkDownMs.append(at);
            } else if (what == Kind::NoConnect || what == Kind::NoCapture) {
                ++run.phases[phase].noConnect;
            } else if (what == Kind::LinkStuck) {
                ++run.phases[phase].linkStuck;
            } else if (what == Kind::Box) {
                const int index = std::min(phase, int(run.phases.size()) - 1);
                ++run.phases[index].boxes[event->boxKind];
            } else if (what == Kind::PhaseEnd) {
                PhaseFigures& f = run.phases[phase];
                f.ended = true;
                f.longestGapMs = event->longestGapMs;
                f.longestConnectGapMs = event->longestConnectGapMs;
                f.gapActivity = event->text;
                f.endRssKiB = last;
                if (auto* cap = openCapture())
                    cap->endMs = std::max(cap->endMs, at);
            } else if (what == Kind::Heap) {
                run.heap.append({at, event->heapBytes, event->chartBytes});
                run.phases[current].endHeapBeyondChartBytes = event->heapBytes - event->chartBytes;
            } else if (what == Kind::Done) {
                done = true;
                if (auto* cap = openCapture())
                    cap->endMs = std::max(cap->endMs, at);
            } else if (what == Kind::Stuck) {
                // The window still handles events, but a handler never returned.
                ++run.hangs;
                run.phases[phase].crashed = QStringLiteral("stuck in: ") + event->text;
                child.kill();
                child.waitForFinished(5000);
                break;
            } else if (what == Kind::Error) {
                run.harnessErrors << event->text;
            }
        }
        if (child.state() != QProcess::NotRunning && sinceProgress.elapsed() > hangMs) {
            ++run.hangs;
            run.phases[current].crashed = QStringLiteral("hang: no event handled");
            child.kill();
            child.waitForFinished(5000);
            break;
        }
    }
    child.waitForFinished(5000);
    // An open capture ends when its process does.
    if (auto* cap = openCapture())
        cap->endMs = std::max(cap->endMs, QDateTime::currentMSecsSinceEpoch());

    if (baseline) {
        const double growth = double(peak - *baseline) / 1024.0;
        if (growth >= run.worstGrowthMiB || run.baselineKiB == 0) {
            run.worstGrowthMiB = growth;
            run.baselineKiB = *baseline;
            run.peakKiB = peak;
        }
        run.finalKiB = last;
        run.worstHwmGrowthMiB = std::max(run.worstHwmGrowthMiB, double(lastHwm - *baseline) / 1024.0);
    }
    if (run.phases[current].crashed.isEmpty() && child.exitStatus() == QProcess::CrashExit) {
        ++run.crashes;
        run.phases[current].crashed = QStringLiteral("crash");
    } else if (run.phases[current].crashed.isEmpty() && (!done || child.exitCode() != 0)) {
        run.harnessErrors << QStringLiteral("child ended with code %1 in phase %2")
                                 .arg(child.exitCode())
                                 .arg(run.phases[current].name);
        return int(run.phases.size());
    }
    return done ? int(run.phases.size()) : current;
}

QString metText(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("NOT MET");
}

}  // namespace

int run(const Options& options)
{
    QTextStream out(stdout);
    std::unique_ptr<QTemporaryDir> temporary;
    const QString dir = PrepareWorkDir(options.directory, QStringLiteral("quorvel-soak-XXXXXX"), temporary, out);
    if (dir.isEmpty())
        return 2;

    const QList<SoakPhase> phases = soakPhases();
    const int phaseSeconds = std::max(kMinPhaseSeconds, int(options.minutes * 60.0 / double(phases.size())));
    out << "quorvel_soak: " << phases.size() << " phases of " << phaseSeconds << " s, capture period "
        << kCapturePeriodSeconds << " s, files in " << dir << "\n";
    out.flush();

    Run run;
    for (const SoakPhase& p : phases) {
        PhaseFigures f;
        f.name = p.name;
        run.phases.append(f);
    }
    int from = 0;
    for (int attempt = 1; from < phases.size(); ++attempt) {
        const int stoppedAt = runChild(options, dir, phaseSeconds, from, attempt, run);
        if (stoppedAt >= phases.size())
            break;
        out << "child ended (" << run.phases[stoppedAt].crashed << ") in phase " << phases.at(stoppedAt).name
            << "; resuming with the next phase\n";
        out.flush();
        from = stoppedAt + 1;
    }

    // Every capture file, judged against the captures that wrote into it.
    QMap<QString, QList<CaptureCheck::Capture>> byFile;
    for (int i = 0; i < run.captures.size(); ++i)
        byFile[run.captureFiles.at(i)].append(run.captures.at(i));
    int records = 0, malformed = 0, fabricated = 0, missing = 0;
    QStringList faults;
    QMap<QString, int> recordsPerPhase;
    for (auto it = byFile.cbegin(); it != byFile.cend(); ++it) {
        const CaptureCheck::Verdict v = CaptureCheck::judge(it.key(), it.value());
        records += v.records;
        malformed += v.malformed;
        fabricated += v.fabricated;
        missing += v.missing;
        faults += v.faults;
        recordsPerPhase[it.value().first().phase] += v.records;
    }

    // Per phase.
    out << "\nPhase               captures  records  link drops  boxes                         longest UI gap  "
           "(connect gap)  end RSS    end heap*\n";
    double longestGap = 0, longestConnect = 0;
    QString longestWhere;
    for (const PhaseFigures& f : run.phases) {
        QStringList boxes;
        for (auto b = f.boxes.cbegin(); b != f.boxes.cend(); ++b)
            boxes << QStringLiteral("%1 %2").arg(b.value()).arg(b.key());
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10\n")
                   .arg(f.name, -19)
                   .arg(f.captures, 8)
                   .arg(recordsPerPhase.value(f.name), 8)
                   .arg(f.linkDrops, 11)
                   .arg(boxes.isEmpty() ? QStringLiteral("-") : boxes.join(QStringLiteral(", ")), -29)
                   .arg(QStringLiteral("%1 ms").arg(f.longestGapMs, 0, 'f', 1), 14)
                   .arg(QStringLiteral("%1 ms").arg(f.longestConnectGapMs, 0, 'f', 1), 14)
                   .arg(f.ended ? QStringLiteral("%1 MiB").arg(double(f.endRssKiB) / 1024.0, 0, 'f', 1)
                                : QStringLiteral("-"),
                        9)
                   .arg(f.endHeapBeyondChartBytes >= 0
                            ? QStringLiteral("%1 KiB").arg(f.endHeapBeyondChartBytes / 1024.0, 0, 'f', 0)
                            : QStringLiteral("-"),
                        11)
                   .arg(f.crashed.isEmpty() ? (f.ended ? QString() : QStringLiteral("(did not run)")) : f.crashed);
        if (f.longestGapMs > longestGap) {
            longestGap = f.longestGapMs;
            longestWhere = f.name + QStringLiteral(", ") + f.gapActivity;
        }
        longestConnect = std::max(longestConnect, f.longestConnectGapMs);
    }
    out << "* heap in use beyond the chart's points at the phase's last once-a-minute sample\n";

    const bool memoryMet = run.worstGrowthMiB < kMemoryTargetMiB;
    const bool stallMet = longestGap < kStallTargetMs;
    out << "\nProperty                                Figure                          Target       Result\n";
    const auto row = [&out](const QString& what, const QString& figure, const QString& target, const QString& result) {
        out << QStringLiteral("%1 %2 %3 %4\n").arg(what, -39).arg(figure, -31).arg(target, -12).arg(result);
    };
    row(QStringLiteral("crashes"), QString::number(run.crashes), QStringLiteral("0"), metText(run.crashes == 0));
    row(QStringLiteral("hangs (stuck handler, blocked thread)"), QString::number(run.hangs), QStringLiteral("0"),
        metText(run.hangs == 0));
    row(QStringLiteral("capture files / records"), QStringLiteral("%1 / %2").arg(byFile.size()).arg(records),
        QStringLiteral("-"), QStringLiteral("info"));
    row(QStringLiteral("partial or ill-formed lines"), QString::number(malformed), QStringLiteral("0"),
        metText(malformed == 0));
    row(QStringLiteral("fabricated records"), QString::number(fabricated), QStringLiteral("0"),
        metText(fabricated == 0));
    row(QStringLiteral("missing records (clean phases)"), QString::number(missing), QStringLiteral("0"),
        metText(missing == 0));
    row(QStringLiteral("peak memory growth (VmRSS)"),
        QStringLiteral("%1 MiB (%2 -> %3 MiB)")
            .arg(run.worstGrowthMiB, 0, 'f', 2)
            .arg(double(run.baselineKiB) / 1024.0, 0, 'f', 1)
            .arg(double(run.peakKiB) / 1024.0, 0, 'f', 1),
        QStringLiteral("< %1 MiB").arg(kMemoryTargetMiB), metText(memoryMet) + QStringLiteral(" (soft)"));
    row(QStringLiteral("VmHWM growth / RSS at end"),
        QStringLiteral("%1 MiB / %2 MiB")
            .arg(run.worstHwmGrowthMiB, 0, 'f', 2)
            .arg(double(run.finalKiB) / 1024.0, 0, 'f', 1),
        QStringLiteral("-"), QStringLiteral("info"));
    const std::optional<double> heapGrowth = heapGrowthMiBPerDay(run.heap);
    row(QStringLiteral("heap growth beyond the chart's points"),
        heapGrowth ? QStringLiteral("%1 MiB/day (fit, %2 samples)").arg(*heapGrowth, 0, 'f', 3).arg(run.heap.size())
                   : QStringLiteral("n/a (runs of 15 min or more)"),
        QStringLiteral("< %1 MiB/day").arg(kHeapTargetMiBPerDay),
        heapGrowth ? metText(*heapGrowth < kHeapTargetMiBPerDay) + QStringLiteral(" (soft)") : QStringLiteral("info"));
    row(QStringLiteral("longest UI-thread gap (without connect)"), QStringLiteral("%1 ms").arg(longestGap, 0, 'f', 1),
        QStringLiteral("< %1 ms").arg(kStallTargetMs), metText(stallMet) + QStringLiteral(" (soft)"));
    row(QStringLiteral("  where"), longestWhere, QString(), QString());
    row(QStringLiteral("longest gap containing a connect"), QStringLiteral("%1 ms").arg(longestConnect, 0, 'f', 1),
        QStringLiteral("<= 2000 ms"), QStringLiteral("info"));

    for (const QString& f : faults.mid(0, 40))
        out << "fault: " << f << "\n";
    if (faults.size() > 40)
        out << "... and " << faults.size() - 40 << " more faults\n";
    for (const QString& e : run.harnessErrors)
        out << "soak error: " << e << "\n";

    const bool hardOk = run.crashes == 0 && run.hangs == 0 && malformed == 0 && fabricated == 0 && missing == 0
                        && run.harnessErrors.isEmpty();
    if (!hardOk && temporary) {
        temporary->setAutoRemove(false);
        out << "files kept in " << dir << "\n";
    }
    out << (hardOk ? "SOAK PASSED\n" : "SOAK FAILED\n");
    if (hardOk)
        return 0;
    const bool propertyFailed = run.crashes > 0 || run.hangs > 0 || malformed > 0 || fabricated > 0 || missing > 0;
    return propertyFailed ? 1 : 2;
}

}  // namespace SoakDriver
