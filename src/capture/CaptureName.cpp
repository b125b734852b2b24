#include "CaptureName.h"

#include "DateTimeText.h"
#include "ProgramErrors.h"

#include <QDir>

#include <algorithm>

namespace {

// What Windows answers for a name with a character it cannot hold.
constexpr int kInvalidNameCode = 123;

bool forbiddenInFileName(QChar c)
{
    return c.unicode() < 0x20 || QStringView(u"<>:\"|?*").contains(c);
}

}  // namespace

QString CaptureSuffix(const QString& text)
{
    qsizetype length = qMin(text.size(), kMaxCaptureSuffix);
    if (length < text.size() && length > 0 && text[length - 1].isHighSurrogate() && text[length].isLowSurrogate())
        --length;
    return text.left(length);
}

void CheckCapturePlace(const QString& directory, const QString& suffix)
{
    // A working directory deleted under the program has no path at all; the
    // bare name would then be taken from the root folder.
    if (directory.isEmpty())
        throw EInOutError(3);
    if (suffix.contains(QLatin1Char('/')) || suffix.contains(QLatin1Char('\\')))
        throw EInOutError(3);
    if (std::any_of(suffix.begin(), suffix.end(), forbiddenInFileName))
        throw EInOutError(kInvalidNameCode);
}

QString CaptureFileName(const QDateTime& begun, const QString& suffix)
{
    return FormatDateTime(QStringLiteral("MMDDYY-HHNNSS"), begun) + QLatin1Char('-') + suffix + QStringLiteral(".csv");
}

QString CaptureFilePath(const QString& directory, const QString& name)
{
    return QDir::toNativeSeparators(directory) + QDir::separator() + name;
}
