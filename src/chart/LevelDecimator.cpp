#include "LevelDecimator.h"

#include "LevelPointStore.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

int LevelDecimator::ColumnOf(double x, double xMin, double xMax, int columns)
{
    if (x < xMin)
        return -1;
    if (x > xMax)
        return columns;
    const double t = (x - xMin) / (xMax - xMin) * columns;
    // t is within [0, columns] here, so the conversion is defined.
    return std::min(static_cast<int>(std::floor(t)), columns - 1);
}

QList<QPointF> LevelDecimator::Reduce(const LevelPointStore& store, double xMin, double xMax, int columns,
                                      QList<qsizetype>* indices)
{
    QList<QPointF> out;
    if (indices)
        indices->clear();
    const qsizetype n = store.Count();
    if (n == 0 || columns <= 0 || !(xMin < xMax))
        return out;
    // Clamp in double before converting so that far-off ranges stay defined.
    const double firstX = std::clamp(std::floor(xMin), 0.0, static_cast<double>(n - 1));
    const double lastX = std::clamp(std::ceil(xMax), 0.0, static_cast<double>(n - 1));
    if (std::floor(xMin) > static_cast<double>(n - 1) || std::ceil(xMax) < 0.0)
        return out;
    const auto first = static_cast<qsizetype>(firstX);
    const auto last = static_cast<qsizetype>(lastX);

    out.reserve(std::min<qsizetype>(last - first + 1, qsizetype{kMaxPerColumn} * columns + 2));
    auto take = [&](qsizetype i) {
        out.append(QPointF(static_cast<double>(i), store.Y(i)));
        if (indices)
            indices->append(i);
    };

    const double span = xMax - xMin;
    qsizetype i = first;
    while (i <= last) {
        const int column = ColumnOf(static_cast<double>(i), xMin, xMax, columns);
        qsizetype end = i;  // last index of this column, inclusive
        if (column >= 0 && column < columns) {
            const double edge = xMin + span * (column + 1) / columns;
            end = std::min(last, static_cast<qsizetype>(std::ceil(std::min(edge, lastX))) - 1);
            end = std::max(end, i);
            // The guess can be off by one through rounding; settle it exactly.
            while (end + 1 <= last && ColumnOf(static_cast<double>(end + 1), xMin, xMax, columns) == column)
                ++end;
            while (end > i && ColumnOf(static_cast<double>(end), xMin, xMax, columns) != column)
                --end;
        }
        if (end - i + 1 <= kMaxPerColumn) {
            for (qsizetype k = i; k <= end; ++k)
                take(k);
        } else {
            const auto [lo, hi] = store.MinMaxIndex(i, end + 1);
            qsizetype keep[4] = {i, std::min(lo, hi), std::max(lo, hi), end};
            qsizetype previous = -1;
            for (qsizetype k : keep) {
                if (k != previous)
                    take(k);
                previous = k;
            }
        }
        i = end + 1;
    }
    return out;
}

QList<QPointF> LevelDecimator::TopEdge(const QList<QPointF>& reduced, const QList<qsizetype>& indices, double xMin,
                                       double xMax, int columns, QList<qsizetype>* topIndices)
{
    // One node per dense column (at its highest point, with the band from
    // its lowest to its highest value) or per point of a sparse column (a
    // band of zero height).
    struct Node {
        double x, lo, hi;
        qsizetype index;
    };
    std::vector<Node> nodes;
    nodes.reserve(static_cast<std::size_t>(reduced.size()));
    qsizetype k = 0;
    while (k < reduced.size()) {
        const int column = ColumnOf(reduced[k].x(), xMin, xMax, columns);
        qsizetype end = k + 1;
        while (end < reduced.size() && ColumnOf(reduced[end].x(), xMin, xMax, columns) == column)
            ++end;
        if (end - k <= 2 || column < 0 || column >= columns) {
            for (qsizetype j = k; j < end; ++j)
                nodes.push_back({reduced[j].x(), reduced[j].y(), reduced[j].y(), indices[j]});
        } else {
            qsizetype top = k;
            double lo = reduced[k].y();
            for (qsizetype j = k + 1; j < end; ++j) {
                lo = std::min(lo, reduced[j].y());
                if (reduced[j].y() > reduced[top].y())
                    top = j;
            }
            const double hi = reduced[top].y();
            // The edge must start and end where the line does.
            if (k == 0 && top != k)
                nodes.push_back({reduced[k].x(), lo, hi, indices[k]});
            nodes.push_back({reduced[top].x(), lo, hi, indices[top]});
            if (end == reduced.size() && top != end - 1)
                nodes.push_back({reduced[end - 1].x(), lo, hi, indices[end - 1]});
        }
        k = end;
    }

    QList<QPointF> out;
    if (topIndices)
        topIndices->clear();
    auto take = [&](double x, double y, qsizetype index) {
        out.append(QPointF(x, y));
        if (topIndices)
            topIndices->append(index);
    };
    if (nodes.empty())
        return out;

    // Greedy straight pieces: from an anchor, keep the range of slopes that
    // passes every following band; where it runs empty, end the piece at the
    // last node that fitted.
    double ax = nodes[0].x;
    double ay = nodes[0].hi;
    take(ax, ay, nodes[0].index);
    std::size_t j = 1;
    while (j < nodes.size()) {
        double sLo = -std::numeric_limits<double>::infinity();
        double sHi = std::numeric_limits<double>::infinity();
        std::size_t last = j;
        double lastLo = sLo;
        double lastHi = sHi;
        for (; last < nodes.size(); ++last) {
            const Node& n = nodes[last];
            const double dx = n.x - ax;
            const double lo = std::max(sLo, (n.lo - ay) / dx);
            const double hi = std::min(sHi, (n.hi - ay) / dx);
            if (lo > hi)
                break;
            sLo = lo;
            sHi = hi;
            lastLo = lo;
            lastHi = hi;
        }
        if (last == j) {
            // Not even the next node fits from here (cannot happen with a
            // band around every node, but stay safe): go to it directly.
            ax = nodes[j].x;
            ay = nodes[j].hi;
            take(ax, ay, nodes[j].index);
            ++j;
            continue;
        }
        const Node& end = nodes[last - 1];
        // The flattest slope that fits: the fewer scanlines the edge
        // crosses, the cheaper the fill.
        const double slope = std::clamp(0.0, lastLo, lastHi);
        const double y = std::clamp(ay + slope * (end.x - ax), end.lo, end.hi);
        ax = end.x;
        ay = y;
        take(ax, ay, end.index);
        j = last;
    }
    return out;
}
