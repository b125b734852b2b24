#pragma once

#include "FormatSettings.h"

#include <QDateTime>
#include <QString>

// Formats a local date and time by the program's pattern rules: letters are
// field codes whatever their case (M month, or minutes right after an H field;
// D day; Y two-digit year; H hour 0-23; N minutes; S seconds), a run of one
// letter is one field written with leading zeros to its width (H, N, S at most
// 2), "/" and ":" give the date and time separators of the settings, and every
// other character is copied.
QString FormatDateTime(const QString& pattern, const QDateTime& time,
                       const FormatSettings& settings = FormatSettings::current());
