#include "KillTest.h"

#include "CaptureCheck.h"
#include "EventWait.h"
#include "K4SimLauncher.h"
#include "SoakPhases.h"
#include "SoakProtocol.h"
#include "WorkDir.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>
#include <random>

namespace KillTest {

namespace {

constexpr qint64 kPeriodMs = kCapturePeriodSeconds * 1000;
// The integration tick of a period that ended just before the kill may still
// have been waiting for the thread (a poll tick's wait, a LED flash).
constexpr qint64 kLateTickMs = 300;
// Two processes read the same clock, but the timer may fire a hair early.
constexpr qint64 kEarlyTickMs = 50;

struct Round {
    qint64 begunMs = 0;
    qint64 killedMs = 0;
    QString file;
    QString error;
};

Round runRound(const Options& options, const QString& dir, quint16 port, int index, int runMs)
{
    Round r;
    QProcess child;
    child.setProgram(options.self);
    child.setArguments({QStringLiteral("--capture-child"), QStringLiteral("--dir"), dir, QStringLiteral("--port"),
                        QString::number(port), QStringLiteral("--suffix"), QStringLiteral("kill%1").arg(index)});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setStandardErrorFile(QDir(dir).filePath(QStringLiteral("capture-child-%1.stderr").arg(index)));
    child.start();
    QByteArray pending;
    QElapsedTimer clock;
    clock.start();
    while (r.file.isEmpty() && r.error.isEmpty()) {
        if (child.state() == QProcess::NotRunning) {
            r.error = QStringLiteral("the capture child ended before its capture began");
            break;
        }
        if (clock.elapsed() > 30000) {
            r.error = QStringLiteral("no capture within 30 s");
            break;
        }
        EventWait::spinFor(10);
        pending += child.readAllStandardOutput();
        for (qsizetype nl; (nl = pending.indexOf('\n')) >= 0; pending.remove(0, nl + 1)) {
            const auto event = SoakProtocol::parse(pending.left(nl));
            if (!event)
                continue;
            if (event->kind == SoakProtocol::Kind::Capture) {
                r.begunMs = event->atMs;
                r.file = event->text;
            } else if (event->kind == SoakProtocol::Kind::Error) {
                r.error = event->text;
            }
        }
    }
    if (r.error.isEmpty()) {
        EventWait::spinFor(int(std::max<qint64>(0, r.begunMs + runMs - QDateTime::currentMSecsSinceEpoch())));
        r.killedMs = QDateTime::currentMSecsSinceEpoch();
    }
    child.kill();  // SIGKILL: no handler, no flush, no close
    child.waitForFinished(5000);
    return r;
}

}  // namespace

int run(const Options& options)
{
    QTextStream out(stdout);
    std::unique_ptr<QTemporaryDir> temporary;
    const QString dir = PrepareWorkDir(options.directory, QStringLiteral("quorvel-kill-XXXXXX"), temporary, out);
    if (dir.isEmpty())
        return 2;

    K4SimLauncher sim(K4SimLauncher::Wait::RunEvents);
    sim.setProgram(options.k4simPath);
    sim.setLogFile(QDir(dir).filePath(QStringLiteral("k4sim.log")));
    sim.setDiscardOutput(true);
    // The time limit ends the simulator even if this process dies without stopping it.
    const int lifetime = options.rounds * (options.maxRunMs / 1000 + 40) + 60;
    if (!sim.start({QStringLiteral("--fixed-smh"), QString::number(kFixedReading),
                    QStringLiteral("--exit-after-seconds"), QString::number(lifetime)})) {
        out << sim.error() << "\n";
        return 2;
    }
    out << "kill test: " << options.rounds << " rounds, run " << options.minRunMs << ".." << options.maxRunMs
        << " ms, seed " << options.seed << ", files in " << dir << "\n";
    out << "round  ran ms  periods ended  records  last line complete  result\n";
    out.flush();

    std::mt19937 random(options.seed);
    std::uniform_int_distribution<int> runTime(options.minRunMs, options.maxRunMs);
    int failures = 0;
    int harness = 0;
    for (int i = 1; i <= options.rounds; ++i) {
        const int runMs = runTime(random);
        const Round r = runRound(options, dir, sim.port(), i, runMs);
        if (!r.error.isEmpty()) {
            out << QStringLiteral("%1  %2\n").arg(i, 5).arg(r.error);
            ++harness;
            continue;
        }
        const qint64 ran = r.killedMs - r.begunMs;
        const qint64 ended = ran / kPeriodMs;
        const qint64 intoPeriod = ran % kPeriodMs;
        const CaptureCheck::Contents c = CaptureCheck::read(r.file);
        QStringList problems;
        if (!c.readable)
            problems << QStringLiteral("file missing");
        if (!c.endsWithCompleteLine)
            problems << QStringLiteral("partial last line");
        for (const CaptureCheck::Record& rec : c.records) {
            if (!rec.wellFormed || !rec.line.endsWith(CaptureCheck::exactTail()))
                problems << QStringLiteral("bad record \"%1\"").arg(rec.line);
            else if (rec.ms > r.killedMs)
                problems << QStringLiteral("record dated after the kill \"%1\"").arg(rec.line);
        }
        const qint64 got = c.records.size();
        // One record per ended period; the period in progress may be either
        // side when the kill fell right at its boundary.
        const bool countOk = got == ended || (got == ended - 1 && intoPeriod < kLateTickMs)
                             || (got == ended + 1 && kPeriodMs - intoPeriod < kEarlyTickMs);
        if (!countOk)
            problems << QStringLiteral("%1 records for %2 ended periods (%3 ms into the next)")
                            .arg(got)
                            .arg(ended)
                            .arg(intoPeriod);
        if (!problems.isEmpty())
            ++failures;
        out << QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                   .arg(i, 5)
                   .arg(ran, 6)
                   .arg(ended, 13)
                   .arg(got, 7)
                   .arg(c.endsWithCompleteLine ? QStringLiteral("yes") : QStringLiteral("NO"), 18)
                   .arg(problems.isEmpty() ? QStringLiteral("ok") : problems.join(QStringLiteral("; ")));
        out.flush();
    }
    sim.stop();

    const bool ok = failures == 0 && harness == 0;
    out << QStringLiteral("rounds with a damaged or incomplete file: %1 (target 0) %2\n")
               .arg(failures)
               .arg(failures == 0 ? QStringLiteral("met") : QStringLiteral("NOT MET"));
    if (harness > 0)
        out << "rounds that could not run: " << harness << "\n";
    if (!ok && temporary) {
        temporary->setAutoRemove(false);
        out << "files kept in " << dir << "\n";
    }
    out << (ok ? "KILL TEST PASSED\n" : "KILL TEST FAILED\n");
    if (failures > 0)
        return 1;
    return harness > 0 ? 2 : 0;
}

}  // namespace KillTest
