#include "LevelDecimator.h"

#include "LevelPointStore.h"

#include <algorithm>
#include <cmath>

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

    out.reserve(std::min<qsizetype>(last - first + 1, qsizetype{4} * columns + 2));
    auto take = [&](qsizetype i) {
        out.append(QPointF(static_cast<double>(i), store.Y(i)));
        if (indices)
            indices->append(i);
    };

    const double span = xMax - xMin;
    qsizetype i = first;
    while (i <= last) {
        const int column = ColumnOf(static_cast<double>(i), xMin, xMax, columns);
        qsizetype end = i; // last index of this column, inclusive
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
        if (end - i + 1 <= 4) {
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
    QList<QPointF> out;
    if (topIndices)
        topIndices->clear();
    out.reserve(std::min<qsizetype>(reduced.size(), qsizetype{2} * columns + 2));
    qsizetype k = 0;
    while (k < reduced.size()) {
        const int column = ColumnOf(reduced[k].x(), xMin, xMax, columns);
        qsizetype end = k + 1;
        while (end < reduced.size() && ColumnOf(reduced[end].x(), xMin, xMax, columns) == column)
            ++end;
        if (end - k <= 2 || column < 0 || column >= columns) {
            for (qsizetype j = k; j < end; ++j) {
                out.append(reduced[j]);
                if (topIndices)
                    topIndices->append(indices[j]);
            }
        } else {
            qsizetype best = k;
            for (qsizetype j = k + 1; j < end; ++j) {
                if (reduced[j].y() > reduced[best].y())
                    best = j;
            }
            out.append(reduced[best]);
            if (topIndices)
                topIndices->append(indices[best]);
        }
        k = end;
    }
    return out;
}
