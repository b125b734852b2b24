// Feeds hostile received bytes, turned into text the way the link does it,
// to the reply framer in pieces. No reply may hold a boundary inside it, the
// held rest must stay within its bound, and the replies must be the same
// whatever the pieces: exactly those the model below finds in the whole
// stream at once.

#include "TelnetClient.h"
#include "ReplyFramer.h"
#include "SplitPlan.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "fuzz_reply_framer: %s %s\n", what, qPrintable(detail));
    std::abort();
}

QStringList run(const std::vector<QByteArrayView>& pieces)
{
    ReplyFramer framer;
    QStringList replies;
    for (const QByteArrayView piece : pieces) {
        const QStringList got = framer.feed(TelnetClient::BytesToString(piece.toByteArray()));
        if (framer.pending().size() > ReplyFramer::kMaxPending + 1)
            fail("pending text grew past its bound:", QString::number(framer.pending().size()));
        for (const QChar end : {u';', u'\r', u'\n'}) {
            if (framer.pending().contains(end))
                fail("pending text holds a reply's end");
        }
        for (const QString& reply : got) {
            const QStringView body = reply.endsWith(u';') ? QStringView(reply).chopped(1) : QStringView(reply);
            if (body.contains(u';') || body.contains(u'\r') || body.contains(u'\n'))
                fail("reply with an end inside it:", reply);
            if (body.indexOf(u"SM", 1) >= 0)
                fail("reply holding the start of another:", reply);
            if (!reply.endsWith(u';') && !reply.startsWith(u"SM"))
                fail("stray text given as a reply:", reply);
            if (body.size() > ReplyFramer::kMaxPending)
                fail("reply longer than the bound:", QString::number(reply.size()));
        }
        replies += got;
    }
    return replies;
}

// What the framer promises, computed on the whole stream at once: cut the
// text before every "SM" and after every ";", CR and LF; of the pieces that
// are not over the bound, keep those that end in ";" and, without their CR
// or LF, those that start with "SM". The last piece has no end yet.
QStringList expected(QByteArrayView payload)
{
    const QString text = TelnetClient::BytesToString(payload.toByteArray());
    std::vector<qsizetype> cuts{0};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u';' || c == u'\r' || c == u'\n')
            cuts.push_back(i + 1);
        else if (i > 0 && QStringView(text).sliced(i).startsWith(u"SM"))
            cuts.push_back(i);
    }
    QStringList replies;
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
        QString piece = text.mid(cuts[k], cuts[k + 1] - cuts[k]);
        if (piece.isEmpty())
            continue;  // a cut after an end that is also before an "SM"
        const bool semicolon = piece.endsWith(u';');
        if (piece.endsWith(u'\r') || piece.endsWith(u'\n'))
            piece.chop(1);
        if (piece.size() - (semicolon ? 1 : 0) > ReplyFramer::kMaxPending)
            continue;
        if (semicolon || piece.startsWith(u"SM"))
            replies.append(piece);
    }
    return replies;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const SplitPlan plan(data, size);
    const QStringList whole = run({plan.payload()});
    const QStringList split = run(plan.pieces());
    if (whole != split)
        fail("replies differ when the input is split");
    if (whole != expected(plan.payload()))
        fail("replies differ from the model's on the whole stream");
    return 0;
}
