#pragma once

#include <QString>
#include <QStringList>

// Splits the radio's received text into replies. A reply ends at ";" (kept
// with it), at CR or LF (dropped), or where the next reply's "SM" begins, so a
// reply the radio ends with a line break, or not at all, is never glued to
// the one after it. Text between two boundaries that ends in ";" comes out
// whatever it holds; text ended otherwise comes out only when it starts with
// "SM": stray text before a reply and lines of other text (a banner, line
// noise) are not replies and are dropped, so "noise SMH151;" gives
// "SMH151;".
//
// Text left at the end of a chunk is held only to see how the next chunk goes
// on with it ("S" + "MH150;" is one reply); a reply that starts in the next
// chunk still ends it. Held text longer than kMaxPending characters (not
// counting a final "S", which may begin the next reply, so the held text is
// at most kMaxPending + 1 long) is
// dropped together with the rest of it up to its boundary, so memory stays
// bounded and no tail of it is misread as a reply; a reply's "SM" after it is
// read as usual.
class ReplyFramer {
public:
    static constexpr qsizetype kMaxPending = 256;

    // Returns the complete replies of text in arrival order; a reply that
    // ended at ";" keeps it, one that ended otherwise comes without its end.
    QStringList feed(QStringView text);

    QString pending() const { return m_pending; }
    void clear();

private:
    void finish(QStringView segment, bool endedBySemicolon, QStringList& replies);

    QString m_pending;
    // The held text is the tail of an over-long stretch: drop it at its end.
    bool m_discarding = false;
};
