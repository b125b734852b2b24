// quorvel_soak: the window under load, faults and hostile input.
//
//   quorvel_soak [--minutes M] [--dir D]     soak against every simulator fault mode
//   quorvel_soak --kill-test N [--seed S]    SIGKILL a capturing window N times
//
// The window itself runs in a child process of this program (the
// --soak-child and --capture-child modes), so a crash is counted and
// reported instead of ending the report.

#include "K4SimLauncher.h"
#include "KillTest.h"
#include "SoakDriver.h"
#include "WindowSoak.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstring>
#include <memory>

namespace {

bool hasFlag(int argc, char** argv, const char* flag)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], flag) == 0)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool windowChild = hasFlag(argc, argv, "--soak-child") || hasFlag(argc, argv, "--capture-child");
    std::unique_ptr<QCoreApplication> app;
    if (windowChild) {
        // The window runs headless unless the caller chose a platform.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the Quorvel window against the radio simulator k4sim on loopback while the simulator cycles through its "
        "fault modes, and reports crashes, memory growth, user-interface stalls and capture file consistency."));
    parser.addHelpOption();
    const QCommandLineOption minutes(QStringLiteral("minutes"), QStringLiteral("Total length of the soak (default 3)."),
                                     QStringLiteral("M"), QStringLiteral("3"));
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("Working directory for capture files (default: a temporary folder)."),
                                 QStringLiteral("D"));
    const QCommandLineOption k4sim(QStringLiteral("k4sim"), QStringLiteral("The simulator to run."),
                                   QStringLiteral("PATH"), K4SimLauncher::builtProgram());
    const QCommandLineOption killTest(QStringLiteral("kill-test"),
                                      QStringLiteral("Kill a capturing window N times and check its files."),
                                      QStringLiteral("N"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the kill test's run times (default 1)."), QStringLiteral("S"),
                                  QStringLiteral("1"));
    // Internal modes: the processes the two tests start.
    const QCommandLineOption soakChild(QStringLiteral("soak-child"));
    const QCommandLineOption captureChild(QStringLiteral("capture-child"));
    const QCommandLineOption phaseSeconds(QStringLiteral("phase-seconds"), QString(), QStringLiteral("S"),
                                          QStringLiteral("15"));
    const QCommandLineOption fromPhase(QStringLiteral("from-phase"), QString(), QStringLiteral("K"),
                                       QStringLiteral("0"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("P"));
    const QCommandLineOption suffix(QStringLiteral("suffix"), QString(), QStringLiteral("X"), QStringLiteral("kill"));
    for (const QCommandLineOption* internal : {&soakChild, &captureChild, &phaseSeconds, &fromPhase, &port, &suffix}) {
        QCommandLineOption hidden = *internal;
        hidden.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(hidden);
    }
    parser.addOptions({minutes, dir, k4sim, killTest, seed});
    parser.process(*app);

    QTextStream err(stderr);
    const QString simPath = parser.value(k4sim);
    if (simPath.isEmpty()) {
        err << "quorvel_soak: no simulator; pass --k4sim PATH\n";
        return 2;
    }

    if (parser.isSet(soakChild) || parser.isSet(captureChild)) {
        WindowSoak::Options o;
        o.k4simPath = simPath;
        o.directory = parser.value(dir);
        o.phaseSeconds = parser.value(phaseSeconds).toInt();
        o.fromPhase = parser.value(fromPhase).toInt();
        o.port = parser.value(port).toUShort();
        o.suffix = parser.value(suffix);
        return parser.isSet(soakChild) ? WindowSoak::runSoak(o) : WindowSoak::runCaptureChild(o);
    }

    const QString self = QCoreApplication::applicationFilePath();
    if (parser.isSet(killTest)) {
        KillTest::Options o;
        o.self = self;
        o.k4simPath = simPath;
        o.directory = parser.value(dir);
        o.rounds = parser.value(killTest).toInt();
        o.seed = parser.value(seed).toUInt();
        if (o.rounds <= 0) {
            err << "quorvel_soak: --kill-test needs a positive number of rounds\n";
            return 2;
        }
        return KillTest::run(o);
    }

    SoakDriver::Options o;
    o.self = self;
    o.k4simPath = simPath;
    o.directory = parser.value(dir);
    bool ok = false;
    o.minutes = parser.value(minutes).toDouble(&ok);
    if (!ok || o.minutes <= 0) {
        err << "quorvel_soak: --minutes needs a positive number\n";
        return 2;
    }
    return SoakDriver::run(o);
}
