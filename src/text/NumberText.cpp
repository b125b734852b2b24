#include "NumberText.h"

#include "ProgramErrors.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace {

constexpr int kSignificantDigits = 15;
// 2^63: the first magnitude that a qint64 cannot hold (-2^63 itself can).
constexpr double kTwoPow63 = 9223372036854775808.0;

}  // namespace

QString FloatToStr(double value, const FormatSettings& settings)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0.0)
        return QStringLiteral("0");  // also for -0

    // Rounding to 15 significant digits first, so that the choice between
    // fixed and exponent notation sees the digits that are written (999...9.99
    // that rounds up to 1E15 is written as 1E15). std::to_chars ignores the C
    // locale, unlike printf.
    char buffer[64];
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, kSignificantDigits - 1);
    if (result.ec != std::errc())
        return QString();
    const std::string text(buffer, result.ptr);

    // text is "[-]d.dddddddddddddde[+-]xx".
    const bool negative = text.front() == '-';
    const std::size_t mantissaStart = negative ? 1 : 0;
    const std::size_t ePos = text.find('e');
    std::string digits;
    for (std::size_t k = mantissaStart; k < ePos; ++k) {
        if (text[k] != '.')
            digits += text[k];
    }
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    int exponent = 0;
    std::from_chars(text.data() + ePos + 1 + (text[ePos + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);

    const QString separator = settings.DecimalSeparator;
    QString out;
    if (negative)
        out += u'-';

    const int digitCount = static_cast<int>(digits.size());
    if (exponent >= -4 && exponent < kSignificantDigits) {
        if (exponent >= 0) {
            const int whole = exponent + 1;
            for (int k = 0; k < whole; ++k)
                out += k < digitCount ? QChar(digits[k]) : QChar(u'0');
            if (digitCount > whole) {
                out += separator;
                out += QString::fromLatin1(digits.data() + whole, digitCount - whole);
            }
        } else {
            out += u'0';
            out += separator;
            out += QString(-exponent - 1, u'0');
            out += QString::fromLatin1(digits.data(), digitCount);
        }
        return out;
    }

    out += QChar(digits[0]);
    if (digitCount > 1) {
        out += separator;
        out += QString::fromLatin1(digits.data() + 1, digitCount - 1);
    }
    out += u'E';
    if (exponent < 0)
        out += u'-';
    out += QString::number(std::abs(exponent));
    return out;
}

bool FitsWholeNumber(double value)
{
    // Rounding cannot carry a value below 2^63 up to 2^63: every double that
    // close to it is already whole.
    return value >= -kTwoPow63 && value < kTwoPow63;
}

qint64 RoundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= kTwoPow63)
        return std::numeric_limits<qint64>::max();
    if (value < -kTwoPow63)
        return std::numeric_limits<qint64>::min();

    // Done by hand rather than with nearbyint so that a rounding mode changed
    // elsewhere in the process cannot change the result. floor and the
    // subtraction are exact for every double in range.
    const double below = std::floor(value);
    const double fraction = value - below;
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        rounded = below + 1.0;
    return static_cast<qint64>(rounded);
}

qint32 StrToInt(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        negative = t[i] == u'-';
        ++i;
    }
    if (i == t.size() || t != text)
        throw EConvertError::invalidInteger(text);
    qint64 value = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c < u'0' || c > u'9')
            throw EConvertError::invalidInteger(text);
        value = value * 10 + (c - u'0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + (negative ? 1 : 0))
            throw EConvertError::invalidInteger(text);
    }
    return static_cast<qint32>(negative ? -value : value);
}

double StrToFloat(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw EConvertError::invalidFloat(text);
    return value;
}
