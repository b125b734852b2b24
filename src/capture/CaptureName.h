#pragma once

#include <QDateTime>
#include <QString>

// The rules a capture file name is held to before anything is created, so a
// capture lands in the working directory under a name every file system the
// operator may copy it to can hold.

// Longest suffix, in UTF-16 code units.
inline constexpr qsizetype kMaxCaptureSuffix = 10;

// The first kMaxCaptureSuffix code units of text, one less when the cut
// would split a surrogate pair: a character is kept whole or left out.
QString CaptureSuffix(const QString& text);

// Throws EInOutError when a capture cannot be created in directory under a
// name with this suffix: code 3 ("Invalid filename") for a directory that no
// longer exists (its path is empty) or a suffix naming another folder, code
// 123 for a suffix holding a character that Windows file names cannot hold
// (< > : " | ? * and control characters).
void CheckCapturePlace(const QString& directory, const QString& suffix);

// The capture file's name for a capture begun at `begun` with this suffix:
// "MMDDYY-HHNNSS-<suffix>.csv". The pattern holds no separator, so the name
// does not depend on the regional settings.
QString CaptureFileName(const QDateTime& begun, const QString& suffix);

// Where the capture file named name lands in directory (as Qt spells it): the
// directory in the platform's own separators, one separator, the name.
QString CaptureFilePath(const QString& directory, const QString& name);
