#include "DateTimeText.h"

#include <algorithm>

namespace {

bool isAsciiLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

void appendNumber(QString& out, int value, qsizetype width)
{
    // An invalid date or time reports -1 or 0 for its fields; the text stays
    // digits only.
    out += QString::number(std::max(value, 0)).rightJustified(width, u'0');
}

}  // namespace

QString FormatDateTime(const QString& pattern, const QDateTime& time, const FormatSettings& settings)
{
    // The fields are taken as they stand: the caller hands in local time and
    // nothing here converts between zones. QTime::second() drops the
    // milliseconds, so seconds are never rounded up.
    const QDate date = time.date();
    const QTime clock = time.time();

    QString out;
    out.reserve(pattern.size() + 8);

    // Whether the last letter field was an hour: an M field right after one
    // means minutes ("hh:mm"), anywhere else the month.
    bool afterHour = false;

    const qsizetype n = pattern.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = pattern[i];
        if (!isAsciiLetter(c)) {
            if (c == u'/')
                out += settings.DateSeparator;
            else if (c == u':')
                out += settings.TimeSeparator;
            else
                out += c;
            ++i;
            continue;
        }

        qsizetype run = 1;
        while (i + run < n && pattern[i + run] == c)
            ++run;
        const qsizetype width = std::min<qsizetype>(run, 2);

        const char16_t code = c.toUpper().unicode();
        switch (code) {
        case u'H': appendNumber(out, clock.hour(), width); break;
        case u'M': appendNumber(out, afterHour ? clock.minute() : date.month(), width); break;
        case u'N': appendNumber(out, clock.minute(), width); break;
        case u'S': appendNumber(out, clock.second(), width); break;
        case u'D': appendNumber(out, date.day(), width); break;
        case u'Y':
            if (run <= 2) {
                // Year within the century, also for years before year 0.
                appendNumber(out, ((date.year() % 100) + 100) % 100, 2);
            } else {
                appendNumber(out, date.year(), 4);
            }
            break;
        default:
            // A letter without a meaning here is kept as written.
            out += pattern.mid(i, run);
            break;
        }
        afterHour = (code == u'H');
        i += run;
    }
    return out;
}
