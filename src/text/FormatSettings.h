#pragma once

#include <QLocale>
#include <QString>

// The separators that date-time and number texts take from the user's
// regional settings. Each holds at most one character; an empty one means
// the regional setting was empty and the text gets nothing in its place.
struct FormatSettings {
    QString DateSeparator = QStringLiteral("/");
    QString TimeSeparator = QStringLiteral(":");
    QString DecimalSeparator = QStringLiteral(".");

    // The first character of each separator of the locale, with "/", ":" and
    // "." where the locale gives none that can be read.
    static FormatSettings fromLocale(const QLocale& locale);

    // The settings every text uses unless told otherwise. Starts as
    // fromLocale(QLocale::system()) on first use.
    static const FormatSettings& current();

    class Override;
    // Reads the user's locale again (the window calls it when the system
    // announces a change of the regional settings).
    static void reloadFromSystem();
};

// Makes settings the current ones for as long as it lives (tests and tools
// that must not depend on the machine's regional settings); the settings it
// replaced come back when it goes.
class FormatSettings::Override {
public:
    explicit Override(const FormatSettings& settings);
    ~Override();
    Override(const Override&) = delete;
    Override& operator=(const Override&) = delete;

private:
    FormatSettings m_previous;
};
