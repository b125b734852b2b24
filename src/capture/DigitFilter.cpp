#include "DigitFilter.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <stdexcept>
#include <vector>

struct DigitFilter::Impl {
    pcre2_code* code = nullptr;
    pcre2_match_data* match = nullptr;
    ~Impl()
    {
        pcre2_match_data_free(match);
        pcre2_code_free(code);
    }
};

DigitFilter::DigitFilter() : d(std::make_unique<Impl>())
{
    static const char16_t pattern[] = u"[^0-9]";
    int error = 0;
    PCRE2_SIZE offset = 0;
    d->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, 0, &error, &offset, nullptr);
    if (!d->code)
        throw std::runtime_error("The digit filter's pattern does not compile");
    d->match = pcre2_match_data_create_from_pattern(d->code, nullptr);
    if (!d->match)
        throw std::bad_alloc();
}

DigitFilter::~DigitFilter() = default;

QString DigitFilter::apply(const QString& text) const
{
    if (text.isEmpty())
        return text;
    // Removing characters only shrinks the text, so the input's length always suffices.
    std::vector<PCRE2_UCHAR> out(size_t(text.size()) + 1);
    PCRE2_SIZE outLength = out.size();
    const int rc = pcre2_substitute(d->code, reinterpret_cast<PCRE2_SPTR>(text.utf16()), PCRE2_SIZE(text.size()), 0,
                                    PCRE2_SUBSTITUTE_GLOBAL, d->match, nullptr, reinterpret_cast<PCRE2_SPTR>(u""), 0,
                                    out.data(), &outLength);
    if (rc < 0)
        throw std::runtime_error("The digit filter failed");
    return QString(reinterpret_cast<const QChar*>(out.data()), qsizetype(outLength));
}

QString DigitFilter::digitsOrNoReply(const QString& reply) const
{
    const QString digits = apply(reply);
    return digits.isEmpty() ? noReplyDigits() : digits;
}
