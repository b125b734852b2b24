#pragma once

#include "FormatSettings.h"

#include <QString>
#include <QtGlobal>

// General number form with 15 significant digits: fixed notation while the
// value has at most 15 whole digits and a magnitude of at least 0.0001 (or is
// zero), exponent notation ("1E15", "1E-5") otherwise. No thousands separators.
QString FloatToStr(double value, const FormatSettings& settings = FormatSettings::current());

// True when value rounds to a 64-bit whole number (finite and within range).
bool FitsWholeNumber(double value);

// Nearest whole number, exact halves to the even neighbour. Defined for every
// input: values beyond the 64-bit range saturate to the nearer bound, NaN gives 0.
qint64 RoundHalfEven(double value);

// Decimal text to 32-bit signed integer: optional sign, digits, nothing else.
// Throws EConvertError on anything else or a value out of range.
qint32 StrToInt(const QString& text);

// Decimal digit text to the nearest double. Throws EConvertError when the
// text is no number or its value exceeds the largest double.
double StrToFloat(const QString& text);
