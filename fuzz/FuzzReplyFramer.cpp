// Feeds hostile received bytes, turned into text the way the link does it,
// to the reply framer in pieces. Every reply must end in its only ";", the
// unfinished rest must stay within its bound, and the replies must be the
// same whatever the pieces: exactly the ";"-terminated segments of the whole
// stream that are no longer than the bound allows.

#include "K4Telnet.h"
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
        const QStringList got = framer.feed(K4Telnet::BytesToString(piece.toByteArray()));
        if (framer.pending().size() > ReplyFramer::kMaxPending)
            fail("pending text grew past its bound:", QString::number(framer.pending().size()));
        if (framer.pending().contains(u';'))
            fail("pending text holds a ';'");
        for (const QString& reply : got) {
            if (!reply.endsWith(u';'))
                fail("reply without ';' at its end:", reply);
            if (reply.indexOf(u';') != reply.size() - 1)
                fail("reply with a ';' before its end:", reply);
            if (reply.size() > ReplyFramer::kMaxPending + 1)
                fail("reply longer than the bound:", QString::number(reply.size()));
        }
        replies += got;
    }
    return replies;
}

// What the framer promises, computed on the whole stream at once.
QStringList expected(QByteArrayView payload)
{
    const QString text = K4Telnet::BytesToString(payload.toByteArray());
    QStringList replies;
    qsizetype start = 0;
    for (qsizetype end = text.indexOf(u';'); end >= 0; end = text.indexOf(u';', start)) {
        if (end - start <= ReplyFramer::kMaxPending)
            replies.append(text.mid(start, end - start + 1));
        start = end + 1;
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
        fail("replies differ from the ';'-terminated segments of the stream");
    return 0;
}
