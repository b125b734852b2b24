// Start-up time and memory of the main window.
//
//   startup_bench               runs itself 5 times as a child and prints the medians
//   startup_bench --runs N      N runs instead
//   startup_bench --child       one measured start-up (what the parent runs)
//
// The program has no command-line or environment options, so the program
// itself cannot report when its window is ready. The child here takes the
// same construction path as the program entry: it creates the application
// object with the same settings and window icon, creates the main window,
// shows it and runs the event loop. The clock starts at the process's own
// start time as the kernel recorded it (/proc/self/stat), so exec and the
// loading of the shared libraries are included, and stops when the window has
// become active and its activation handler has run, and again at its first
// paint. Memory (VmRSS) is read at that moment. The parent also measures from
// just before it spawns the child to the child's activation on the same
// monotonic clock, as a cross-check with millisecond resolution.
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.

#include "ProcStatus.h"

#include "K4Status_U.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QIcon>
#include <QProcess>
#include <QTimer>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <optional>
#include <vector>

namespace {

// --- Linux process figures ----------------------------------------------

double clockMs(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Milliseconds since this process was started, on the boot-time clock the
// kernel stamps processes with (resolution: one clock tick, usually 10 ms).
double msSinceProcessStart()
{
    const double now = clockMs(CLOCK_BOOTTIME);
    QFile f(QStringLiteral("/proc/self/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // The command name in parentheses may hold spaces: count fields after it.
    const qsizetype close = stat.lastIndexOf(')');
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // Field 22 (starttime) is the 20th after the name: state is field 3.
    const double ticks = fields.value(22 - 3).toDouble();
    return now - ticks * 1e3 / double(sysconf(_SC_CLK_TCK));
}

double monotonicMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// --- The child ------------------------------------------------------------

// The program's window, with the moments it became active and first painted
// noted after the window's own handling of those events.
class TimedWindow : public Tfrm_framework {
public:
    std::optional<double> activeAt, paintedAt;  // monotonic ms
    std::function<void()> onReady;

protected:
    bool event(QEvent* e) override
    {
        const bool result = Tfrm_framework::event(e);
        if (!activeAt && activated())
            activeAt = monotonicMs();
        if (!paintedAt && e->type() == QEvent::Paint)
            paintedAt = monotonicMs();
        if (activeAt && paintedAt && onReady) {
            auto f = std::move(onReady);
            onReady = nullptr;
            f();
        }
        return result;
    }
};

int child(int argc, char** argv)
{
    const double startToMain = msSinceProcessStart();
    const double mainAt = monotonicMs();

    // As the program entry does.
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quorvel.png")));
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
    auto window = std::make_unique<TimedWindow>();

    long rss = -1, hwm = -1;
    window->onReady = [&] {
        rss = ProcStatusKib("VmRSS");
        hwm = ProcStatusKib("VmHWM");
        QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); });
    };
    window->show();
    // A window manager activates a newly shown main window; the offscreen
    // platform does not always do so on its own.
    window->activateWindow();
    QTimer::singleShot(10000, &app, [] { QCoreApplication::exit(1); });
    const int code = QApplication::exec();
    if (code != 0 || !window->activeAt || !window->paintedAt) {
        std::fprintf(stderr, "startup_bench: the window did not become active and painted\n");
        return 1;
    }
    std::printf("RESULT %.3f %.3f %.3f %.3f %ld %ld\n", startToMain, *window->activeAt - mainAt,
                *window->paintedAt - mainAt, *window->activeAt, rss, hwm);
    std::fflush(stdout);
    window->S.bCloseRequest = true;  // tearing down must not ask
    window.reset();
    return 0;
}

// --- The parent -----------------------------------------------------------

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.empty() ? 0.0 : v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2.0;
}

int parent(const char* self, int runs)
{
    std::vector<double> toMain, mainToActive, mainToPaint, total, spawnToActive, rssKib, hwmKib;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        p.setProgram(QString::fromLocal8Bit(self));
        p.setArguments({QStringLiteral("--child")});
        // Qt's own notes on stderr would cut into the table; shown only on failure.
        p.setProcessChannelMode(QProcess::SeparateChannels);
        const double spawnAt = monotonicMs();
        p.start();
        if (!p.waitForFinished(20000) || p.exitCode() != 0) {
            std::fprintf(stderr, "startup_bench: run %d failed\n%s", i + 1, p.readAllStandardError().constData());
            return 1;
        }
        double a = 0, b = 0, c = 0, activeAt = 0;
        long rss = 0, hwm = 0;
        const QByteArray out = p.readAllStandardOutput();
        const qsizetype at = out.indexOf("RESULT ");
        if (at < 0
            || std::sscanf(out.constData() + at, "RESULT %lf %lf %lf %lf %ld %ld", &a, &b, &c, &activeAt, &rss, &hwm)
                   != 6) {
            std::fprintf(stderr, "startup_bench: run %d printed no result\n", i + 1);
            return 1;
        }
        toMain.push_back(a);
        mainToActive.push_back(b);
        mainToPaint.push_back(c);
        total.push_back(a + b);
        spawnToActive.push_back(activeAt - spawnAt);
        rssKib.push_back(double(rss));
        hwmKib.push_back(double(hwm));
        std::printf("run %d: start->active %.1f ms, spawn->active %.1f ms, VmRSS %ld KiB\n", i + 1, a + b,
                    activeAt - spawnAt, rss);
    }
    std::printf("\nStart-up of the main window (%s platform), median of %d runs\n\n",
                qEnvironmentVariable("QT_QPA_PLATFORM").toLocal8Bit().constData(), runs);
    std::printf("%-52s %12s\n", "figure", "median");
    std::printf("%-52s %9.1f ms\n", "process start -> main() (exec, dynamic loading; 10 ms)", median(toMain));
    std::printf("%-52s %9.1f ms\n", "main() -> window active, activation handler run", median(mainToActive));
    std::printf("%-52s %9.1f ms\n", "main() -> first paint of the window", median(mainToPaint));
    std::printf("%-52s %9.1f ms\n", "process start -> window active", median(total));
    std::printf("%-52s %9.1f ms\n", "spawn by parent -> window active (cross-check)", median(spawnToActive));
    std::printf("%-52s %9.0f KiB\n", "VmRSS when active", median(rssKib));
    std::printf("%-52s %9.0f KiB\n", "VmHWM when active", median(hwmKib));
    std::printf(
        "\nThe child builds the window as the program entry does (application object, its\n"
        "settings and icon, Tfrm_framework, show, event loop). The kernel stamps the process\n"
        "start in whole clock ticks, so figures from process start read up to one tick\n"
        "(%ld ms) high; the spawn figure is exact but includes the fork.\n",
        1000 / sysconf(_SC_CLK_TCK));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--child")
            return child(argc, argv);
        if (a == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: startup_bench [--runs N]\n");
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    return parent(argv[0], runs);
}
