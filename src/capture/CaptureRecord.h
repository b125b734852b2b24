#pragma once

#include <QDateTime>
#include <QString>

// One record line of the capture file, without its line end: the date and
// time at `at` by the pattern "MM/DD/YY,HH:NN:SS," (regional separators), the
// digits of the last high-resolution reading, "," and the recorded level as a
// number text.
QString CaptureRecordLine(const QDateTime& at, const QString& reading, double level);
