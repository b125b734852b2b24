#include "ReplyFramer.h"

#include <QTest>

class TestReplyFramer : public QObject {
    Q_OBJECT
private slots:
    void framing_data();
    void framing();
    void streams_data();
    void streams();
    void unfinishedReplyIsBounded();
    void overlongTextNeverSwallowsTheNextReply_data();
    void overlongTextNeverSwallowsTheNextReply();
};

void TestReplyFramer::framing_data()
{
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<QString>("pending");

    QTest::newRow("one reply") << QStringList{"SM0012;"} << QStringList{"SM0012;"} << "";
    QTest::newRow("joined") << QStringList{"SM0012;SMH070;"} << QStringList{"SM0012;", "SMH070;"} << "";
    QTest::newRow("split") << QStringList{"SMH0", "70;"} << QStringList{"SMH070;"} << "";
    QTest::newRow("split inside SMH") << QStringList{"SM", "H151;"} << QStringList{"SMH151;"} << "";
    QTest::newRow("reply and a half") << QStringList{"SM0012;SMH1", "51;"} << QStringList{"SM0012;", "SMH151;"} << "";
    QTest::newRow("unfinished kept") << QStringList{"SM0012;SMH"} << QStringList{"SM0012;"} << "SMH";
    QTest::newRow("empty reply") << QStringList{";"} << QStringList{";"} << "";
    // An "S" at the end of a chunk may be the start of the next reply.
    QTest::newRow("held S continued") << QStringList{"SM0012;S", "MH150;"} << QStringList{"SM0012;", "SMH150;"} << "";
    QTest::newRow("held S then other text") << QStringList{"S", "x;"} << QStringList{"Sx;"} << "";
    // A reply with no end yet is given up when the next one starts.
    QTest::newRow("unended reply, next chunk")
        << QStringList{"SMH151", "SM0012;"} << QStringList{"SMH151", "SM0012;"} << "";
    QTest::newRow("unended reply waits") << QStringList{"SMH151"} << QStringList{} << "SMH151";
    QTest::newRow("stray text held") << QStringList{"noise "} << QStringList{} << "noise ";
}

void TestReplyFramer::framing()
{
    QFETCH(QStringList, chunks);
    QFETCH(QStringList, replies);
    QFETCH(QString, pending);
    ReplyFramer framer;
    QStringList got;
    for (const QString& chunk : chunks)
        got += framer.feed(chunk);
    QCOMPARE(got, replies);
    QCOMPARE(framer.pending(), pending);
}

// Whole streams, then the same streams cut at every position and fed one
// character at a time: the replies must not depend on how the link cut them.
void TestReplyFramer::streams_data()
{
    QTest::addColumn<QString>("stream");
    QTest::addColumn<QStringList>("replies");

    QTest::newRow("pair") << "SM0012;SMH151;" << QStringList{"SM0012;", "SMH151;"};
    QTest::newRow("CR LF ends") << "SMH151\r\nSMH152\r\n" << QStringList{"SMH151", "SMH152"};
    QTest::newRow("LF ends") << "SM0012\nSMH151\n" << QStringList{"SM0012", "SMH151"};
    QTest::newRow("CR LF after ;") << "SM0012;\r\nSMH151;\r\n" << QStringList{"SM0012;", "SMH151;"};
    QTest::newRow("space ends, next reply cuts")
        << "SMH151 SM0012 SMH152;" << QStringList{"SMH151 ", "SM0012 ", "SMH152;"};
    QTest::newRow("no ends at all") << "SM0012SMH151;" << QStringList{"SM0012", "SMH151;"};
    QTest::newRow("noise before reply") << "noise SMH151;" << QStringList{"SMH151;"};
    QTest::newRow("noise with digits") << "x42yz SMH151;" << QStringList{"SMH151;"};
    QTest::newRow("noise line") << "K4 banner 1.2\r\nSMH151;" << QStringList{"SMH151;"};
    QTest::newRow("noise ended by ;") << "x7;SMH151;" << QStringList{"x7;", "SMH151;"};
    QTest::newRow("lone S in noise") << "aSbSMH151;" << QStringList{"SMH151;"};
    QTest::newRow("SS then reply") << "SSMH151;" << QStringList{"SMH151;"};
    QTest::newRow("lower case kept whole") << "smh151;" << QStringList{"smh151;"};
    QTest::newRow("high byte") << QString::fromUtf16(u"SMH\uFFFD151;")
                               << QStringList{QString::fromUtf16(u"SMH\uFFFD151;")};
    QTest::newRow("flood lines then reply")
        << QString::fromUtf16(u"abcdefghijklmnopqrstuvwxyz\r\n").repeated(40) + QStringLiteral("SMH151;")
        << QStringList{"SMH151;"};
    QTest::newRow("overlong noise then reply")
        << QString(300, u'x') + QStringLiteral("SMH151;") << QStringList{"SMH151;"};
    QTest::newRow("overlong noise ending in S")
        << QString(300, u'x') + QStringLiteral("SSMH151;") << QStringList{"SMH151;"};
    QTest::newRow("overlong reply dropped")
        << QStringLiteral("SM") + QString(300, u'7') + QStringLiteral(";SMH151;") << QStringList{"SMH151;"};
    QTest::newRow("longest reply kept") << QStringLiteral("SM") + QString(254, u'7') + QStringLiteral(";")
                                        << QStringList{QStringLiteral("SM") + QString(254, u'7') + QStringLiteral(";")};
    // Cut between the "S" and the "M" of the reply after it, a reply right at
    // the bound must still come out.
    QTest::newRow("longest reply ended by the next")
        << QStringLiteral("SM") + QString(254, u'7') + QStringLiteral("SMH151;")
        << QStringList{QStringLiteral("SM") + QString(254, u'7'), QStringLiteral("SMH151;")};
    QTest::newRow("one past the bound, then S")
        << QStringLiteral("SM") + QString(255, u'7') + QStringLiteral("S;SMH151;") << QStringList{"SMH151;"};
}

void TestReplyFramer::streams()
{
    QFETCH(QString, stream);
    QFETCH(QStringList, replies);

    ReplyFramer whole;
    QCOMPARE(whole.feed(stream), replies);

    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        ReplyFramer framer;
        QStringList got = framer.feed(QStringView(stream).first(cut));
        got += framer.feed(QStringView(stream).sliced(cut));
        QVERIFY2(got == replies, qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(got.join(u'|'))));
    }

    ReplyFramer bytewise;
    QStringList got;
    for (const QChar c : stream) {
        got += bytewise.feed(QStringView(&c, 1));
        QVERIFY(bytewise.pending().size() <= ReplyFramer::kMaxPending + 1);
    }
    QCOMPARE(got, replies);
}

void TestReplyFramer::unfinishedReplyIsBounded()
{
    // A radio that never sends ";" must not grow memory, and the tail of the
    // runaway text must not come out as a reply of its own.
    ReplyFramer framer;
    const QString junk(100, QLatin1Char('7'));
    for (int i = 0; i < 1000; ++i) {
        QVERIFY(framer.feed(junk).isEmpty());
        QVERIFY(framer.pending().size() <= ReplyFramer::kMaxPending + 1);
    }
    QVERIFY(framer.feed(QStringLiteral("777;")).isEmpty());
    QCOMPARE(framer.feed(QStringLiteral("SMH151;")), QStringList{QStringLiteral("SMH151;")});
}

void TestReplyFramer::overlongTextNeverSwallowsTheNextReply_data()
{
    QTest::addColumn<QString>("noise");
    QTest::newRow("letters") << QString(1000, u'x');
    QTest::newRow("ends in S") << QString(999, u'x') + QStringLiteral("S");
    QTest::newRow("digits") << QString(1000, u'7');
}

void TestReplyFramer::overlongTextNeverSwallowsTheNextReply()
{
    // A burst of noise far over the bound, then a reply in the same chunk or
    // in the next one: the reply still comes out.
    QFETCH(QString, noise);
    ReplyFramer sameChunk;
    QCOMPARE(sameChunk.feed(noise + QStringLiteral("SMH151;")), QStringList{QStringLiteral("SMH151;")});
    ReplyFramer nextChunk;
    QVERIFY(nextChunk.feed(noise).isEmpty());
    QVERIFY(nextChunk.pending().size() <= 1);
    QCOMPARE(nextChunk.feed(QStringLiteral("SMH151;")), QStringList{QStringLiteral("SMH151;")});
}

QTEST_GUILESS_MAIN(TestReplyFramer)
#include "TestReplyFramer.moc"
