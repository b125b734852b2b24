#pragma once

#include <QString>
#include <QStringList>

// Splits the radio's received text into replies at ";". A reply split over
// several chunks is kept until its ";" arrives; several replies in one chunk
// come out one by one. An unfinished reply longer than kMaxPending characters
// (a radio that never sends ";") is dropped, and so is the rest of it up to
// the next ";", so memory stays bounded and no fragment is misread as a reply.
class ReplyFramer {
public:
    static constexpr qsizetype kMaxPending = 256;

    // Returns the complete replies of text in arrival order, each with its ";".
    QStringList feed(QStringView text);

    QString pending() const { return m_pending; }
    void clear();

private:
    QString m_pending;
    bool m_discarding = false;
};
