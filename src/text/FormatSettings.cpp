#include "FormatSettings.h"

#include <optional>

namespace {

bool isFieldLetter(QChar c, QStringView fields)
{
    return fields.contains(c);
}

// Reads the separator that a Qt date or time format puts between the first
// field of `firstFields` and the next field of `nextFields`: the first
// character there that is not a letter, not quoted literal text, not a
// direction mark and not white space. Gives an empty text when the two fields
// touch (the locale writes them without a separator) and nothing when no such
// pair of fields exists or only spaces or quoted words stand between them
// (the "C" locale's "d MMM yyyy", for example, has no numeric separator).
std::optional<QString> separatorBetween(QStringView format, QStringView firstFields, QStringView nextFields)
{
    const qsizetype n = format.size();
    qsizetype i = 0;
    bool quoted = false;

    // The first field: a run of one of firstFields outside quotes.
    for (; i < n; ++i) {
        const QChar c = format[i];
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && isFieldLetter(c, firstFields))
            break;
    }
    if (i == n)
        return std::nullopt;
    const QChar fieldLetter = format[i];
    while (i < n && format[i] == fieldLetter)
        ++i;

    std::optional<QChar> found;
    bool sawOther = false;
    for (; i < n; ++i) {
        const QChar c = format[i];
        if (c == u'\'') {
            quoted = !quoted;
            sawOther = true;
            continue;
        }
        if (quoted) {
            continue;
        }
        if (isFieldLetter(c, nextFields)) {
            if (found)
                return QString(*found);
            if (sawOther)
                return std::nullopt;
            return QString();
        }
        // Other letters are fields such as an AM/PM marker; marks such as
        // the right-to-left mark of Arabic formats are not separators.
        if (c.isLetter() || c.isSpace() || c.category() == QChar::Other_Format) {
            sawOther = true;
            continue;
        }
        if (!found)
            found = c;
    }
    return std::nullopt;
}

FormatSettings& currentSettings()
{
    static FormatSettings settings = FormatSettings::fromLocale(QLocale::system());
    return settings;
}

}  // namespace

FormatSettings FormatSettings::fromLocale(const QLocale& locale)
{
    FormatSettings settings;

    const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    if (auto separator = separatorBetween(dateFormat, u"dMy", u"dMy"))
        settings.DateSeparator = *separator;

    const QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (auto separator = separatorBetween(timeFormat, u"hH", u"m"))
        settings.TimeSeparator = *separator;

    const QString decimal = locale.decimalPoint();
    if (!decimal.isEmpty())
        settings.DecimalSeparator = decimal.left(1);

    return settings;
}

// The settings are read and replaced on the user-interface thread only (the
// window reloads them from its own event handler), so a plain object is
// enough; the first use initialises it in a thread-safe way.
const FormatSettings& FormatSettings::current()
{
    return currentSettings();
}

FormatSettings::Override::Override(const FormatSettings& settings) : m_previous(currentSettings())
{
    currentSettings() = settings;
}

FormatSettings::Override::~Override()
{
    currentSettings() = m_previous;
}

void FormatSettings::reloadFromSystem()
{
    currentSettings() = fromLocale(QLocale::system());
}
