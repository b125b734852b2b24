#pragma once

#include "LevelChart.h"
#include "LevelDecimator.h"

#include <QColor>
#include <QCoreApplication>
#include <QTime>

// Gives the chart the points of a capture that has run for hours: enough for
// every pixel column to be reduced, so the geometry Qt Charts keeps for the
// drawn points is at its bound. A memory figure taken after this shows what
// a long run keeps adding, not the chart filling its width in the first two
// hours. The points carry `value` and hh:mm:ss labels `periodSeconds` apart,
// ending now. Returns how many were added.
inline qsizetype FillChartPastItsWidth(LevelChart& chart, double value, int periodSeconds)
{
    const qsizetype n = qsizetype{LevelDecimator::kMaxPerColumn + 2} * chart.PlotColumns();
    const QTime now = QTime::currentTime();
    for (qsizetype i = 0; i < n; ++i) {
        const int secondsAgo = static_cast<int>((n - i) * periodSeconds);
        chart.Add(value, now.addSecs(-secondsAgo).toString(QStringLiteral("hh:mm:ss")), QColor(Qt::red));
    }
    // The chart redraws from a zero-time timer.
    QCoreApplication::processEvents();
    return n;
}
