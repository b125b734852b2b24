#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// The child processes report to the driver through stdout, one line per
// event: "@soak WORD field field ...". A file name, when there is one, is the
// last field and may contain spaces.
namespace SoakProtocol {

inline constexpr char kPrefix[] = "@soak ";

inline void say(const QString& line)
{
    const QByteArray bytes = (QString::fromLatin1(kPrefix) + line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);  // the driver must see it even if this process dies next
}

// Splits a received line into its words; nothing when it is not a protocol line.
inline QStringList parse(const QByteArray& line)
{
    const QString text = QString::fromUtf8(line).trimmed();
    if (!text.startsWith(QString::fromLatin1(kPrefix)))
        return {};
    return text.mid(int(sizeof(kPrefix)) - 1).split(QLatin1Char(' '));
}

// Everything from word index on, joined again (a file name with spaces).
inline QString rest(const QStringList& words, int index)
{
    return words.mid(index).join(QLatin1Char(' '));
}

} // namespace SoakProtocol
