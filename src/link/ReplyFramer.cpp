#include "ReplyFramer.h"

namespace {

bool startsReply(QStringView text, qsizetype at)
{
    return at + 1 < text.size() && text[at] == u'S' && text[at + 1] == u'M';
}

}  // namespace

QStringList ReplyFramer::feed(QStringView text)
{
    // The held text is scanned again with the new chunk, so a boundary that
    // straddles the two (an "S" at the end of one chunk, "M" at the start of
    // the next) is found like any other.
    QString joined;
    QStringView all = text;
    if (!m_pending.isEmpty()) {
        joined.reserve(m_pending.size() + text.size());
        joined.append(m_pending).append(text);
        all = joined;
    }

    QStringList replies;
    qsizetype start = 0;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QChar c = all[i];
        if (c == u';') {
            finish(all.sliced(start, i + 1 - start), true, replies);
            start = i + 1;
        } else if (c == u'\r' || c == u'\n') {
            finish(all.sliced(start, i - start), false, replies);
            start = i + 1;
        } else if (startsReply(all, i) && (i > start || m_discarding)) {
            finish(all.sliced(start, i - start), false, replies);
            start = i;
        }
    }

    const QStringView rest = all.sliced(start);
    // A final "S" may be the start of the next reply's "SM" rather than part
    // of this one: a reply right at the bound must not be lost because the
    // chunk ended between the two letters.
    const qsizetype body = rest.size() - (rest.endsWith(u'S') ? 1 : 0);
    if (!m_discarding && body > kMaxPending)
        m_discarding = true;
    if (m_discarding) {
        // Only a final "S" is kept: it may be the start of a reply's "SM".
        m_pending = rest.endsWith(u'S') ? QStringLiteral("S") : QString();
    } else {
        m_pending = rest.toString();
    }
    return replies;
}

void ReplyFramer::finish(QStringView segment, bool endedBySemicolon, QStringList& replies)
{
    if (m_discarding) {
        m_discarding = false;
        return;
    }
    const qsizetype length = segment.size() - (endedBySemicolon ? 1 : 0);
    if (length > kMaxPending)
        return;
    if (endedBySemicolon || segment.startsWith(u"SM"))
        replies.append(segment.toString());
}

void ReplyFramer::clear()
{
    m_pending.clear();
    m_discarding = false;
}
