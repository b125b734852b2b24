#pragma once

#include <QString>

#include <memory>

// Removes every character that is not an ASCII digit, keeping the digits in
// order: a global PCRE2 substitution of "[^0-9]" with the empty string.
class DigitFilter {
public:
    DigitFilter();
    ~DigitFilter();
    DigitFilter(const DigitFilter&) = delete;
    DigitFilter& operator=(const DigitFilter&) = delete;

    QString apply(const QString& text) const;

    // The digits of a meter reply, or the no-reply value when it has none.
    QString digitsOrNoReply(const QString& reply) const;

    // What a reply without digits reads as: the meter bar's resting value.
    static QString noReplyDigits() { return QStringLiteral("180"); }

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
