#include "ReplyFramer.h"

QStringList ReplyFramer::feed(QStringView text)
{
    QStringList replies;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = text.indexOf(u';', start);
        if (end < 0) {
            if (!m_discarding) {
                m_pending += text.mid(start);
                if (m_pending.size() > kMaxPending) {
                    m_pending.clear();
                    m_discarding = true;
                }
            }
            break;
        }
        if (m_discarding) {
            m_discarding = false;
        } else {
            m_pending += text.mid(start, end - start + 1);
            if (m_pending.size() <= kMaxPending + 1)
                replies.append(m_pending);
            m_pending.clear();
        }
        start = end + 1;
    }
    return replies;
}

void ReplyFramer::clear()
{
    m_pending.clear();
    m_discarding = false;
}
