#pragma once

#include <QList>
#include <QPointF>

class LevelPointStore;

// Reduces the points of a visible X range to what a plot of `columns` pixel
// columns can show: for each column the first, the lowest, the highest and the
// last point, in X order (fewer when they coincide). A polyline through these
// covers the same pixels as a polyline through every point, so the drawing
// cost follows the width instead of the number of points. One point beyond
// each end of the range is kept so the line runs on to the plot's edges.
class LevelDecimator {
public:
    // The most points a column keeps; a column with more is reduced.
    static constexpr int kMaxPerColumn = 4;

    // Column of position x when [xMin, xMax] is split into `columns` equal
    // columns; xMax itself belongs to the last column. Returns -1 left of the
    // range and `columns` right of it.
    static int ColumnOf(double x, double xMin, double xMax, int columns);

    // The reduced points of `store` for the range [xMin, xMax] (xMin < xMax).
    // Their indices go to `indices` when it is given.
    static QList<QPointF> Reduce(const LevelPointStore& store, double xMin, double xMax, int columns,
                                 QList<qsizetype>* indices = nullptr);

    // The top edge of the area below a reduced line. In a column where the
    // reduced line has more than two points it runs from the column's lowest
    // to its highest point, so every pixel between the two is covered by the
    // line drawn over the area; there the area's edge may pass anywhere in
    // that band. The edge is therefore drawn as few straight pieces as keep
    // it inside every column's band (and exactly through the points of
    // sparse columns): the same picture, but a fill with a handful of edges
    // instead of a tall zigzag per column, which is what made dense areas
    // slow to fill. `indices` are those of Reduce; `topIndices` receives, for
    // each point returned, the index of a point of its column.
    static QList<QPointF> TopEdge(const QList<QPointF>& reduced, const QList<qsizetype>& indices, double xMin,
                                  double xMax, int columns, QList<qsizetype>* topIndices = nullptr);
};
