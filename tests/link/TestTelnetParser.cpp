#include "ByteList.h"
#include "TelnetParser.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

#include <initializer_list>

namespace {

QString bytesText(const QByteArray& bytes)
{
    QStringList parts;
    for (char c : bytes)
        parts << QString::number(quint8(c));
    return parts.join(u' ');
}

QString commandName(TIdTelnetCommand c)
{
    switch (c) {
    case TIdTelnetCommand::tncNoLocalEcho: return QStringLiteral("tncNoLocalEcho");
    case TIdTelnetCommand::tncLocalEcho: return QStringLiteral("tncLocalEcho");
    case TIdTelnetCommand::tncEcho: return QStringLiteral("tncEcho");
    }
    return QStringLiteral("?");
}

// Events as readable lines, so a failing row shows what came out.
QStringList describe(const std::vector<TelnetParser::Event>& events)
{
    QStringList out;
    for (const auto& e : events) {
        switch (e.kind) {
        case TelnetParser::Event::Kind::Data: out << "data:" + bytesText(e.bytes); break;
        case TelnetParser::Event::Kind::Reply: out << "reply:" + bytesText(e.bytes); break;
        case TelnetParser::Event::Kind::Command: out << "cmd:" + commandName(e.command); break;
        }
    }
    return out;
}

struct Outcome {
    QByteArray data;
    QList<QByteArray> replies;
    QList<TIdTelnetCommand> commands;
    bool operator==(const Outcome&) const = default;
};

Outcome run(const QList<QByteArray>& chunks)
{
    TelnetParser parser;
    Outcome o;
    for (const QByteArray& chunk : chunks) {
        for (const auto& e : parser.feed(chunk)) {
            switch (e.kind) {
            case TelnetParser::Event::Kind::Data:
                if (e.bytes.isEmpty())
                    qFatal("empty data event");
                o.data += e.bytes;
                break;
            case TelnetParser::Event::Kind::Reply: o.replies << e.bytes; break;
            case TelnetParser::Event::Kind::Command: o.commands << e.command; break;
            }
        }
    }
    return o;
}

// A stream rich in telnet syntax: plain bytes mixed with IAC, the
// negotiation commands, the options we answer and subnegotiation framing.
QByteArray telnetishStream(quint32 seed, int length)
{
    static const quint8 alphabet[]
        = {0, 1, 3, 13, 24, 25, 65, 66, 239, 240, 241, 250, 251, 252, 253, 254, 255, 255, 255};
    QRandomGenerator rng(seed);
    QByteArray out;
    while (out.size() < length) {
        if (rng.bounded(8) == 0)
            out += B({255, 250, 24, 1, 255, 240});  // a well-formed TERMINAL-TYPE SEND
        else
            out.append(char(alphabet[rng.bounded(int(std::size(alphabet)))]));
    }
    return out;
}

}  // namespace

class TestTelnetParser : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void events_data();
    void events();
    void iamTelnetOnlyAfterIac();
    void emptyTerminalBecomesUnknown();
    void subnegotiationBounded();
    void splitAnywhereGivesSameResult();
};

void TestTelnetParser::events_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("terminal");
    QTest::addColumn<QStringList>("expected");

    const QString dumb = QStringLiteral("dumb");
    const QString ttypeDumb = QStringLiteral("reply:255 250 24 0 100 117 109 98 255 240");

    QTest::newRow("seven plain bytes, one event")
        << QList<QByteArray>{"SM0512;"} << dumb << QStringList{"data:83 77 48 53 49 50 59"};
    QTest::newRow("CR LF NUL pass through")
        << QList<QByteArray>{B({13, 10, 0, 65})} << dumb << QStringList{"data:13 10 0 65"};
    QTest::newRow("IAC IAC is one 255") << QList<QByteArray>{B({65, 255, 255, 66})} << dumb
                                        << QStringList{"data:65 255 66"};
    QTest::newRow("DO TTYPE") << QList<QByteArray>{B({255, 253, 24})} << dumb << QStringList{"reply:255 251 24"};
    QTest::newRow("DO TTYPE then SB TTYPE SEND") << QList<QByteArray>{B({255, 253, 24}), B({255, 250, 24, 1, 255, 240})}
                                                 << dumb << QStringList{"reply:255 251 24", ttypeDumb};
    QTest::newRow("empty terminal answers UNKNOWN") << QList<QByteArray>{B({255, 250, 24, 1, 255, 240})} << QString()
                                                    << QStringList{"reply:255 250 24 0 85 78 75 78 79 87 78 255 240"};
    QTest::newRow("WILL SGA") << QList<QByteArray>{B({255, 251, 3})} << dumb << QStringList{"reply:255 254 3"};
    QTest::newRow("WONT SGA") << QList<QByteArray>{B({255, 252, 3})} << dumb << QStringList{"reply:255 254 3"};
    QTest::newRow("DO SGA") << QList<QByteArray>{B({255, 253, 3})} << dumb << QStringList{"reply:255 252 3"};
    QTest::newRow("DONT TTYPE") << QList<QByteArray>{B({255, 254, 24})} << dumb << QStringList{"reply:255 252 24"};
    QTest::newRow("WILL EOR") << QList<QByteArray>{B({255, 251, 25})} << dumb << QStringList{"reply:255 253 25"};
    QTest::newRow("DO EOR") << QList<QByteArray>{B({255, 253, 25})} << dumb << QStringList{"reply:255 252 25"};
    QTest::newRow("WILL ECHO") << QList<QByteArray>{B({255, 251, 1})} << dumb
                               << QStringList{"cmd:tncNoLocalEcho", "reply:255 253 1"};
    QTest::newRow("WONT ECHO") << QList<QByteArray>{B({255, 252, 1})} << dumb
                               << QStringList{"cmd:tncLocalEcho", "reply:255 254 1"};
    QTest::newRow("DO ECHO") << QList<QByteArray>{B({255, 253, 1})} << dumb
                             << QStringList{"cmd:tncLocalEcho", "reply:255 251 1"};
    QTest::newRow("DONT ECHO") << QList<QByteArray>{B({255, 254, 1})} << dumb
                               << QStringList{"cmd:tncEcho", "reply:255 252 1"};
    QTest::newRow("EOR splits data") << QList<QByteArray>{B({65, 66, 255, 239, 67, 68})} << dumb
                                     << QStringList{"data:65 66", "data:67 68"};
    QTest::newRow("EOR with no data") << QList<QByteArray>{B({255, 239})} << dumb << QStringList{};
    QTest::newRow("NOP gives nothing") << QList<QByteArray>{B({255, 241})} << dumb << QStringList{};
    QTest::newRow("other commands dropped")
        << QList<QByteArray>{B({65, 255, 241, 66, 255, 249, 67, 255, 0, 68, 255, 240})} << dumb
        << QStringList{"data:65 66 67 68"};
    QTest::newRow("data after a negotiation stays one chunk")
        << QList<QByteArray>{B({65, 255, 251, 1, 66})} << dumb
        << QStringList{"cmd:tncNoLocalEcho", "reply:255 253 1", "data:65 66"};
    QTest::newRow("chunk ends right after IAC") << QList<QByteArray>{B({65, 255}), B({251, 3, 66})} << dumb
                                                << QStringList{"data:65", "reply:255 254 3", "data:66"};
    QTest::newRow("chunk ends after IAC, escaped 255 follows")
        << QList<QByteArray>{B({255}), B({255})} << dumb << QStringList{"data:255"};
    QTest::newRow("chunk ends before the option")
        << QList<QByteArray>{B({255, 253}), B({24})} << dumb << QStringList{"reply:255 251 24"};
    QTest::newRow("chunks end inside a subnegotiation")
        << QList<QByteArray>{B({255, 250}), B({24, 1, 255}), B({240, 65})} << dumb << QStringList{ttypeDumb, "data:65"};
    QTest::newRow("SB splits data") << QList<QByteArray>{B({65, 255, 250, 24, 1, 255, 240, 66})} << dumb
                                    << QStringList{"data:65", ttypeDumb, "data:66"};
    QTest::newRow("escaped IAC inside SB does not end it")
        << QList<QByteArray>{B({255, 250, 24, 1, 255, 255, 240, 65, 255, 240, 66})} << dumb
        << QStringList{ttypeDumb, "data:66"};
    QTest::newRow("IAC SB inside SB starts a new one")
        << QList<QByteArray>{B({255, 250, 99, 1, 255, 250, 24, 1, 255, 240})} << dumb << QStringList{ttypeDumb};
    QTest::newRow("IAC SB inside SB answers the first")
        << QList<QByteArray>{B({255, 250, 24, 1, 255, 250, 99, 255, 240})} << dumb << QStringList{ttypeDumb};
    QTest::newRow("IAC other inside SB dropped")
        << QList<QByteArray>{B({255, 250, 24, 255, 241, 1, 255, 240})} << dumb << QStringList{ttypeDumb};
    QTest::newRow("SB of another option ignored")
        << QList<QByteArray>{B({255, 250, 31, 1, 255, 240})} << dumb << QStringList{};
    QTest::newRow("SB TTYPE IS ignored") << QList<QByteArray>{B({255, 250, 24, 0, 65, 255, 240})} << dumb
                                         << QStringList{};
    QTest::newRow("SB TTYPE empty ignored") << QList<QByteArray>{B({255, 250, 24, 255, 240})} << dumb << QStringList{};
    QTest::newRow("terminal above ASCII sent as ?")
        << QList<QByteArray>{B({255, 250, 24, 1, 255, 240})} << QStringLiteral("v\u00e9")
        << QStringList{"reply:255 250 24 0 118 63 255 240"};
}

void TestTelnetParser::events()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QString, terminal);
    QFETCH(QStringList, expected);

    TelnetParser parser(terminal);
    QStringList got;
    for (const QByteArray& chunk : chunks)
        got += describe(parser.feed(chunk));
    QCOMPARE(got, expected);
}

void TestTelnetParser::iamTelnetOnlyAfterIac()
{
    TelnetParser parser;
    parser.feed("plain text\r\n");
    QVERIFY(!parser.iamTelnet());
    parser.feed(B({65, 255}));
    QVERIFY(parser.iamTelnet());
}

void TestTelnetParser::emptyTerminalBecomesUnknown()
{
    TelnetParser parser{QString()};
    parser.feed(B({255, 250, 24, 1, 255, 240}));
    QCOMPARE(parser.terminal(), QStringLiteral("UNKNOWN"));
}

void TestTelnetParser::subnegotiationBounded()
{
    TelnetParser parser;
    // A list of exactly the bound is still complete and answered.
    QByteArray full = B({255, 250, 24, 1});
    full += QByteArray(TelnetParser::kMaxSubnegotiation - 1, 'x');
    full += B({255, 240});
    QCOMPARE(describe(parser.feed(full)), QStringList{"reply:255 250 24 0 100 117 109 98 255 240"});

    // A peer that opens a subnegotiation and never ends it.
    QVERIFY(parser.feed(B({255, 250, 24, 1})).empty());
    QByteArray junk(64 * 1024, 'x');
    // Past the bound in every chunk: an escaped 255 followed by SE must not
    // end it, and IAC SB must not start an answerable one.
    junk[10000] = char(255);
    junk[10001] = char(255);
    junk[10002] = char(240);
    junk[20000] = char(255);
    junk[20001] = char(250);
    junk[20002] = char(24);
    junk[20003] = char(1);
    for (int i = 0; i < 64; ++i) {  // 4 MiB
        QVERIFY(parser.feed(junk).empty());
        QVERIFY(parser.pendingSubnegotiationSize() <= TelnetParser::kMaxSubnegotiation);
    }
    // IAC SE ends it without an answer; what follows flows normally.
    QCOMPARE(describe(parser.feed(B({255, 240, 65, 66, 255, 253, 24}))),
             (QStringList{"reply:255 251 24", "data:65 66"}));
    QCOMPARE(parser.pendingSubnegotiationSize(), 0);
}

void TestTelnetParser::splitAnywhereGivesSameResult()
{
    for (quint32 seed : {1u, 2u, 3u}) {
        const QByteArray stream = telnetishStream(seed, 1500);
        const Outcome whole = run({stream});
        QVERIFY(!whole.data.isEmpty());
        QVERIFY(!whole.replies.isEmpty());

        for (qsizetype at = 1; at < stream.size(); ++at) {
            if (run({stream.left(at), stream.mid(at)}) != whole)
                QFAIL(qPrintable(QStringLiteral("seed %1: split at %2 differs").arg(seed).arg(at)));
        }

        QRandomGenerator rng(seed * 7919);
        for (int round = 0; round < 50; ++round) {
            QList<QByteArray> pieces;
            for (qsizetype pos = 0; pos < stream.size();) {
                const qsizetype len = 1 + rng.bounded(12);
                pieces << stream.mid(pos, len);
                pos += len;
            }
            if (run(pieces) != whole)
                QFAIL(qPrintable(QStringLiteral("seed %1: random split %2 differs").arg(seed).arg(round)));
        }
    }
}

QTEST_GUILESS_MAIN(TestTelnetParser)
#include "TestTelnetParser.moc"
