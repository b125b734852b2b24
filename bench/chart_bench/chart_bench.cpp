// Measures the level chart against a plain QChartView that holds every point.
//
//   chart_bench                      print the table
//   chart_bench --max N              stop at N points
//   chart_bench --oscillating        levels that swing many times per pixel column
//   chart_bench --screenshot F.png   save a picture of a typical capture and exit
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.

#include "LevelChart.h"

#include <QApplication>
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QFile>
#include <QLineSeries>
#include <QPixmap>
#include <QTime>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 1004;
constexpr int kHeight = 250;
constexpr double kNaiveLimitMs = 10000.0;

// Levels like a real capture: a slow swing over the day, a drift that wanders
// and settles back (a mean-reverting walk) and a little noise, all within
// about 90..130 dB down. Deterministic, and the same for every size.
class Levels {
public:
    double Next()
    {
        const double x = static_cast<double>(m_i++);
        m_walk += -0.01 * m_walk + Noise(x * 0.7311) * 0.8;
        return 110.0 + 8.0 * std::sin(x / 900.0) + m_walk + 0.6 * Noise(x);
    }

private:
    static double Noise(double x)
    {
        const double v = std::sin(x * 12.9898 + 78.233) * 43758.5453;
        return (v - std::floor(v)) * 2.0 - 1.0;
    }
    qsizetype m_i = 0;
    double m_walk = 0.0;
};

// Rapid swings, many within one pixel column at large sizes: the worst case
// for filling the area.
double Oscillating(qsizetype i)
{
    const double x = static_cast<double>(i);
    return 110.0 + 12.0 * std::sin(x / 47.0) + 6.0 * std::sin(x / 11.3 + 1.0);
}

// One label per second of the day, built once so that appending measures the chart.
const std::vector<QString>& DayLabels()
{
    static const std::vector<QString> labels = [] {
        std::vector<QString> v;
        v.reserve(86400);
        for (int s = 0; s < 86400; ++s)
            v.push_back(QTime(0, 0).addSecs(s).toString(QStringLiteral("hh:mm:ss")));
        return v;
    }();
    return labels;
}

const QString& LabelFor(qsizetype i)
{
    const qsizetype start = 14 * 3600 + 2 * 60 + 10;
    return DayLabels()[static_cast<std::size_t>((start + 2 * i) % 86400)];
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Ms(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double RepaintMs(QWidget& w)
{
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    const QPixmap p = w.grab();
    const double ms = Ms(t);
    return p.isNull() ? -1.0 : ms;
}

long StatusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').front().toLong();
    }
    return -1;
}

struct OurRow {
    qsizetype n = 0;
    double appendMs = 0, repaintMs = 0, panMs = 0, addOneMs = 0;
    double bytesPerPoint = 0;
    long rssKb = 0, hwmKb = 0;
};

void Settle()
{
    // Axis labels can change the plot's width once more after a refresh.
    for (int k = 0; k < 3; ++k)
        QApplication::processEvents();
}

OurRow MeasureOurs(qsizetype n, int repeats, bool oscillating)
{
    OurRow row;
    row.n = n;
    auto chart = std::make_unique<LevelChart>();
    chart->setObjectName(QStringLiteral("chtFastLine1"));
    chart->resize(kWidth, kHeight);
    chart->show();
    chart->ConfigureAtActivation();
    QApplication::processEvents();

    Levels levels;
    auto level = [&](qsizetype i) { return oscillating ? Oscillating(i) : levels.Next(); };
    QElapsedTimer t;
    t.start();
    for (qsizetype i = 0; i < n; ++i)
        chart->Add(level(i), LabelFor(i), QColor(255, 0, 0));
    QApplication::processEvents();  // the one deferred refresh
    row.appendMs = Ms(t);
    Settle();

    std::vector<double> paints;
    for (int r = 0; r < repeats; ++r)
        paints.push_back(RepaintMs(*chart));
    row.repaintMs = Median(paints);

    // One more point on the automatic axis: the append and the refresh it
    // schedules, with painting held back (the repaint it causes is the one
    // measured above).
    std::vector<double> adds;
    for (int r = 0; r < repeats; ++r) {
        chart->setUpdatesEnabled(false);
        QElapsedTimer a;
        a.start();
        chart->Add(level(n + r), LabelFor(n + r), QColor(255, 0, 0));
        QApplication::processEvents();
        adds.push_back(Ms(a));
        chart->setUpdatesEnabled(true);
        Settle();
        RepaintMs(*chart);
    }
    row.addOneMs = Median(adds);

    std::vector<double> pans;
    const double step = (chart->BottomMax() - chart->BottomMin()) * 0.01;
    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer p;
        p.start();
        chart->PanBottomAxis(-step);
        QApplication::processEvents();
        const QPixmap pix = chart->grab();
        pans.push_back(Ms(p));
    }
    row.panMs = Median(pans);
    row.bytesPerPoint = static_cast<double>(chart->StoredBytes()) / static_cast<double>(chart->Count());
    row.rssKb = StatusKb("VmRSS");
    row.hwmKb = StatusKb("VmHWM");
    return row;
}

// A plain chart view whose area series holds every point.
double MeasureNaive(qsizetype n, int repeats, bool oscillating, double& buildMs)
{
    Levels levels;
    QElapsedTimer t;
    t.start();
    auto view = std::make_unique<QChartView>();
    view->setRenderHint(QPainter::Antialiasing, true);
    auto* upper = new QLineSeries;
    QList<QPointF> points;
    points.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        points.append(QPointF(static_cast<double>(i), oscillating ? Oscillating(i) : levels.Next()));
    upper->replace(points);
    auto* area = new QAreaSeries(upper);
    upper->setParent(area);
    area->setBrush(QColor(255, 0, 0));
    area->setPen(QPen(QColor(68, 102, 163)));
    view->chart()->addSeries(area);
    view->chart()->createDefaultAxes();
    view->chart()->legend()->hide();
    view->resize(kWidth, kHeight);
    view->show();
    Settle();
    buildMs = Ms(t);
    std::vector<double> paints;
    for (int r = 0; r < repeats; ++r) {
        view->viewport()->update();
        paints.push_back(RepaintMs(*view));
    }
    return Median(paints);
}

int Screenshot(const QString& path)
{
    LevelChart chart;
    chart.setObjectName(QStringLiteral("chtFastLine1"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    chart.setFont(font);
    chart.resize(kWidth, kHeight);
    chart.show();
    chart.ConfigureAtActivation();
    Levels levels;
    for (qsizetype i = 0; i < 360; ++i) {
        // A wider, slower swing than the benchmark's, like an evening's band opening.
        const double level = 110.0 + 14.0 * std::sin(static_cast<double>(i) / 55.0) + 0.8 * (levels.Next() - 110.0);
        chart.Add(std::round(level * 100.0) / 100.0, LabelFor(i), QColor(255, 0, 0));
    }
    Settle();
    const bool ok = chart.grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "could not save", qPrintable(path));
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const qsizetype shot = args.indexOf(QStringLiteral("--screenshot"));
    if (shot > 0)
        return Screenshot(shot + 1 < args.size() ? args[shot + 1] : QStringLiteral("chart.png"));
    qsizetype maxN = 1000000;
    const qsizetype maxArg = args.indexOf(QStringLiteral("--max"));
    if (maxArg > 0 && maxArg + 1 < args.size())
        maxN = args[maxArg + 1].toLongLong();

    const bool oscillating = args.contains(QStringLiteral("--oscillating"));
    const qsizetype sizes[] = {1000, 10000, 100000, 1000000};
    std::vector<OurRow> rows;
    for (qsizetype n : sizes) {
        if (n <= maxN)
            rows.push_back(MeasureOurs(n, 9, oscillating));
    }

    std::printf("LevelChart, %dx%d offscreen, %s levels; times in ms (repaint, pan, add-one: median of 9)\n", kWidth,
                kHeight, oscillating ? "rapidly oscillating (worst case)" : "capture-like");
    std::printf("%9s %10s %9s %9s %9s %8s %9s %9s  %s\n", "points", "append", "repaint", "pan", "add-one", "B/point",
                "RSS kB", "HWM kB", "targets");
    const double base = rows.empty() ? 0.0 : rows.front().repaintMs;
    for (const OurRow& r : rows) {
        const bool scaleOk = r.repaintMs <= 3.0 * base;
        const bool addOk = r.addOneMs <= r.repaintMs;
        std::printf("%9lld %10.1f %9.2f %9.2f %9.3f %8.1f %9ld %9ld  repaint<=3x@1000 %s; add-one<=repaint %s\n",
                    static_cast<long long>(r.n), r.appendMs, r.repaintMs, r.panMs, r.addOneMs, r.bytesPerPoint, r.rssKb,
                    r.hwmKb, scaleOk ? "met" : "NOT met", addOk ? "met" : "NOT met");
    }

    std::printf("\nPlain QChartView + QAreaSeries holding every point (same levels)\n");
    std::printf("%9s %10s %12s %12s %9s  %s\n", "points", "build", "repaint", "LevelChart", "ratio", "target");
    double lastNaive = 0.0;
    qsizetype lastN = 0;
    for (const OurRow& r : rows) {
        // Drawing cost grows about linearly with the points: skip what would
        // take longer than the limit per repaint.
        const double estimate = lastN > 0 ? lastNaive * static_cast<double>(r.n) / static_cast<double>(lastN) : 0.0;
        if (estimate > kNaiveLimitMs) {
            std::printf("%9lld %10s %12s %12.2f %9s  skipped: estimated %.0f ms per repaint (> %.0f s)\n",
                        static_cast<long long>(r.n), "-", "-", r.repaintMs, "-", estimate, kNaiveLimitMs / 1000.0);
            continue;
        }
        double build = 0.0;
        const double naive = MeasureNaive(r.n, r.n >= 1000000 ? 3 : 5, oscillating, build);
        const double ratio = naive / r.repaintMs;
        const char* target = r.n == 100000 ? (ratio >= 50.0 ? ">=50x met" : ">=50x NOT met") : "";
        std::printf("%9lld %10.1f %12.2f %12.2f %8.1fx  %s\n", static_cast<long long>(r.n), build, naive, r.repaintMs,
                    ratio, target);
        lastNaive = naive;
        lastN = r.n;
    }
    return 0;
}
