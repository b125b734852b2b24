#include "ReplyFramer.h"

#include <QTest>

class TestReplyFramer : public QObject {
    Q_OBJECT
private slots:
    void framing_data();
    void framing();
    void unfinishedReplyIsBounded();
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
    QTest::newRow("reply and a half") << QStringList{"SM0012;SMH1", "51;"} << QStringList{"SM0012;", "SMH151;"}
                                      << "";
    QTest::newRow("unfinished kept") << QStringList{"SM0012;SMH"} << QStringList{"SM0012;"} << "SMH";
    QTest::newRow("empty reply") << QStringList{";"} << QStringList{";"} << "";
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

void TestReplyFramer::unfinishedReplyIsBounded()
{
    // A radio that never sends ";" must not grow memory, and the tail of the
    // runaway text must not come out as a reply of its own.
    ReplyFramer framer;
    const QString junk(100, QLatin1Char('7'));
    for (int i = 0; i < 1000; ++i) {
        QVERIFY(framer.feed(junk).isEmpty());
        QVERIFY(framer.pending().size() <= ReplyFramer::kMaxPending);
    }
    QVERIFY(framer.feed(QStringLiteral("777;")).isEmpty());
    QCOMPARE(framer.feed(QStringLiteral("SMH151;")), QStringList{QStringLiteral("SMH151;")});
}

QTEST_GUILESS_MAIN(TestReplyFramer)
#include "TestReplyFramer.moc"
