#include "LevelDecimator.h"
#include "LevelPointStore.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace {

constexpr quint32 kRed = 0xffff0000;  // 0xAARRGGBB, as the chart hands colours over

// A slow random walk with tall spikes up and down at known places.
void Fill(LevelPointStore& store, qsizetype n, const QList<qsizetype>& spikesUp, const QList<qsizetype>& spikesDown)
{
    QRandomGenerator rng(7);
    double y = 110.0;
    for (qsizetype i = 0; i < n; ++i) {
        y += rng.bounded(2.0) - 1.0;
        double v = y;
        if (spikesUp.contains(i))
            v = 1000.0;
        if (spikesDown.contains(i))
            v = -1000.0;
        store.Append(v, QString(), kRed);
    }
}

}  // namespace

class TestLevelDecimator : public QObject {
    Q_OBJECT
private slots:
    void columnOf_data();
    void columnOf();
    void reducedColumnsKeepExtremes_data();
    void reducedColumnsKeepExtremes();
    void topEdgeStaysInsideTheLine();
    void nothingToDraw();
};

void TestLevelDecimator::columnOf_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("xMin");
    QTest::addColumn<double>("xMax");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("column");
    QTest::newRow("left edge") << 0.0 << 0.0 << 100.0 << 10 << 0;
    QTest::newRow("column boundary") << 10.0 << 0.0 << 100.0 << 10 << 1;
    QTest::newRow("right edge is last column") << 100.0 << 0.0 << 100.0 << 10 << 9;
    QTest::newRow("left of range") << -0.5 << 0.0 << 100.0 << 10 << -1;
    QTest::newRow("right of range") << 100.5 << 0.0 << 100.0 << 10 << 10;
    QTest::newRow("far right stays defined") << 1e300 << 0.0 << 1.0 << 10 << 10;
}

void TestLevelDecimator::columnOf()
{
    QFETCH(double, x);
    QFETCH(double, xMin);
    QFETCH(double, xMax);
    QFETCH(int, columns);
    QFETCH(int, column);
    QCOMPARE(LevelDecimator::ColumnOf(x, xMin, xMax, columns), column);
}

void TestLevelDecimator::reducedColumnsKeepExtremes_data()
{
    QTest::addColumn<qsizetype>("n");
    QTest::addColumn<double>("xMin");
    QTest::addColumn<double>("xMax");
    QTest::addColumn<int>("columns");
    QTest::newRow("100k points, whole range") << qsizetype{100000} << 0.0 << 99999.0 << 1000;
    QTest::newRow("100k points, panned window") << qsizetype{100000} << 1234.5 << 56789.25 << 997;
    QTest::newRow("fewer points than columns") << qsizetype{50} << 0.0 << 49.0 << 1000;
    QTest::newRow("panned past the last point") << qsizetype{1000} << 900.0 << 1900.0 << 500;
    QTest::newRow("panned before the first point") << qsizetype{1000} << -300.5 << 200.0 << 300;
}

void TestLevelDecimator::reducedColumnsKeepExtremes()
{
    QFETCH(qsizetype, n);
    QFETCH(double, xMin);
    QFETCH(double, xMax);
    QFETCH(int, columns);
    // Single-point spikes, one at a column edge and two in the same column.
    const QList<qsizetype> up{7, 31337, 31338, 77777};
    const QList<qsizetype> down{20000, 20001, 99998};
    LevelPointStore store;
    Fill(store, n, up, down);

    QList<qsizetype> indices;
    const QList<QPointF> points = LevelDecimator::Reduce(store, xMin, xMax, columns, &indices);
    QCOMPARE(points.size(), indices.size());
    QVERIFY(points.size() <= LevelDecimator::kMaxPerColumn * qsizetype{columns} + 2);

    // The true extremes of every column, from every point.
    std::map<int, std::pair<double, double>> truth;
    std::map<int, std::pair<double, double>> drawn;
    auto widen = [](std::map<int, std::pair<double, double>>& m, int c, double y) {
        auto [it, fresh] = m.try_emplace(c, y, y);
        if (!fresh) {
            it->second.first = std::min(it->second.first, y);
            it->second.second = std::max(it->second.second, y);
        }
    };
    for (qsizetype i = 0; i < n; ++i) {
        const int c = LevelDecimator::ColumnOf(static_cast<double>(i), xMin, xMax, columns);
        if (c >= 0 && c < columns)
            widen(truth, c, store.Y(i));
    }
    for (qsizetype k = 0; k < points.size(); ++k) {
        QCOMPARE(points[k].x(), static_cast<double>(indices[k]));
        QCOMPARE(points[k].y(), store.Y(indices[k]));
        if (k > 0)
            QVERIFY(points[k].x() > points[k - 1].x());
        const int c = LevelDecimator::ColumnOf(points[k].x(), xMin, xMax, columns);
        if (c >= 0 && c < columns)
            widen(drawn, c, points[k].y());
    }
    QCOMPARE(drawn, truth);

    // The line runs on to one point beyond each edge where there is one.
    const auto before = static_cast<qsizetype>(std::floor(xMin));
    const auto after = static_cast<qsizetype>(std::ceil(xMax));
    if (before >= 0 && before < n)
        QCOMPARE(indices.front(), before);
    if (after >= 0 && after < n)
        QCOMPARE(indices.back(), after);

    // Every spike inside the range survives (of two equal neighbours in one
    // column one is enough: they draw the same).
    for (qsizetype s : up + down) {
        if (s >= n || s < xMin || s > xMax)
            continue;
        const int c = LevelDecimator::ColumnOf(static_cast<double>(s), xMin, xMax, columns);
        const bool kept = std::any_of(points.begin(), points.end(), [&](const QPointF& p) {
            return p.y() == store.Y(s) && LevelDecimator::ColumnOf(p.x(), xMin, xMax, columns) == c;
        });
        QVERIFY2(kept, qPrintable(QString::number(s)));
    }
}

void TestLevelDecimator::topEdgeStaysInsideTheLine()
{
    // Dense stretch (many points per column) followed by a sparse one: the
    // area's edge keeps within each dense column's lowest..highest value,
    // where the line covers every pixel, and runs exactly through sparse points.
    LevelPointStore store;
    Fill(store, 60000, {100, 30000}, {200});
    const double xMin = 55000.0;
    const double xMax = 59999.0;
    const int columns = 1000;  // 5 points per column: dense
    for (const auto& [lo, hi, cols] :
         {std::tuple{0.0, 59999.0, 1000}, std::tuple{xMin, xMax, columns}, std::tuple{59000.0, 59999.0, 1000}}) {
        QList<qsizetype> indices;
        const QList<QPointF> line = LevelDecimator::Reduce(store, lo, hi, cols, &indices);
        QList<qsizetype> topIndices;
        const QList<QPointF> top = LevelDecimator::TopEdge(line, indices, lo, hi, cols, &topIndices);
        QCOMPARE(top.size(), topIndices.size());
        QVERIFY(!top.isEmpty());
        QVERIFY(top.size() <= line.size());
        QCOMPARE(top.front().x(), line.front().x());
        QCOMPARE(top.back().x(), line.back().x());
        for (qsizetype k = 1; k < top.size(); ++k)
            QVERIFY(top[k].x() > top[k - 1].x());

        // Height of the edge at x, by straight pieces between its points.
        auto edgeAt = [&](double x) {
            qsizetype k = 1;
            while (k < top.size() - 1 && top[k].x() < x)
                ++k;
            const QPointF a = top[k - 1];
            const QPointF b = top[k];
            return a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
        };
        qsizetype k = 0;
        while (k < line.size()) {
            const int c = LevelDecimator::ColumnOf(line[k].x(), lo, hi, cols);
            qsizetype end = k + 1;
            while (end < line.size() && LevelDecimator::ColumnOf(line[end].x(), lo, hi, cols) == c)
                ++end;
            double bandLo = line[k].y(), bandHi = line[k].y();
            for (qsizetype j = k; j < end; ++j) {
                bandLo = std::min(bandLo, line[j].y());
                bandHi = std::max(bandHi, line[j].y());
            }
            for (qsizetype j = k; j < end; ++j) {
                const double y = edgeAt(line[j].x());
                if (end - k <= 2 || c < 0 || c >= cols)
                    QVERIFY2(std::abs(y - line[j].y()) < 1e-9, qPrintable(QString::number(line[j].x())));
                else if (line[j].y() == bandHi)
                    QVERIFY2(y >= bandLo - 1e-9 && y <= bandHi + 1e-9, qPrintable(QString::number(line[j].x())));
            }
            k = end;
        }
    }
}

void TestLevelDecimator::nothingToDraw()
{
    LevelPointStore store;
    QVERIFY(LevelDecimator::Reduce(store, 0.0, 10.0, 100).isEmpty());
    Fill(store, 10, {}, {});
    QVERIFY(LevelDecimator::Reduce(store, 20.0, 30.0, 100).isEmpty());
    QVERIFY(LevelDecimator::Reduce(store, -30.0, -20.0, 100).isEmpty());
    QVERIFY(LevelDecimator::Reduce(store, 0.0, 9.0, 0).isEmpty());
}

QTEST_GUILESS_MAIN(TestLevelDecimator)
#include "TestLevelDecimator.moc"
