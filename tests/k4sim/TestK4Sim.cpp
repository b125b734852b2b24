#include "K4SimLauncher.h"
#include "LevelModel.h"
#include "Net.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

namespace {

const QRegularExpression kBarReply(QStringLiteral("^SM\\d{4};$"));
const QRegularExpression kHighReply(QStringLiteral("^SMH\\d{3};$"));

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(static_cast<char>(v));
    return out;
}

const QByteArray kDoTtype = bytes({255, 253, 24});
const QByteArray kWillTtype = bytes({255, 251, 24});
const QByteArray kSbSend = bytes({255, 250, 24, 1, 255, 240});
const QByteArray kIsDumb = bytes({255, 250, 24, 0, 'd', 'u', 'm', 'b', 255, 240});

// Counts the well-formed reading replies anywhere in a byte stream.
int countReplies(const QByteArray& stream)
{
    static const QRegularExpression any(QStringLiteral("SMH\\d{3};|SM\\d{4};"));
    int count = 0;
    for (auto it = any.globalMatch(QString::fromLatin1(stream)); it.hasNext(); it.next())
        ++count;
    return count;
}

// The simulator as a child process; stopped with SIGTERM when the fixture goes.
class Sim {
public:
    explicit Sim(const QStringList& args)
    {
        m_sim.start(QStringList{QStringLiteral("--exit-after-seconds"), QStringLiteral("60")} + args);
    }

    quint16 port() const { return m_sim.port(); }
    QString line() const { return m_sim.startupLine(); }
    QProcess& process() { return m_sim.process(); }
    // Terminates the simulator; true when it ended normally with exit code 0.
    bool stop() { return m_sim.stop(); }

private:
    K4SimLauncher m_sim;
};

// A raw loopback client that keeps every read separately, so tests can see
// how the simulator cut its output into segments and how it ended.
class Client {
public:
    bool connectTo(quint16 port)
    {
        std::string error;
        m_socket = k4sim::connectLoopback("127.0.0.1", port, error);
        return m_socket.valid();
    }
    void send(const QByteArray& data)
    {
        // A reset is reported once, to whichever call meets it first: keep it.
        const auto r = k4sim::sendSome(m_socket, data.constData(), static_cast<std::size_t>(data.size()));
        if (r.status != k4sim::IoStatus::Ok && m_end == k4sim::IoStatus::Ok)
            m_end = r.status;
    }
    // Reads until done(all bytes) holds, the peer ends the connection or
    // timeoutMs passes. Returns done's final verdict.
    bool readUntil(const std::function<bool(const QByteArray&)>& done, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        std::vector<char> buffer(1 << 20);
        while (!done(m_all)) {
            const auto left = timeoutMs - timer.elapsed();
            if (left <= 0 || m_end != k4sim::IoStatus::Ok)
                break;
            std::vector<k4sim::PollEntry> entries{{m_socket.handle(), true, false}};
            k4sim::pollHandles(entries, static_cast<int>(left));
            if (!entries[0].readable)
                continue;
            const auto r = k4sim::recvSome(m_socket, buffer.data(), buffer.size());
            if (r.status == k4sim::IoStatus::Ok) {
                m_chunks.append(QByteArray(buffer.data(), static_cast<qsizetype>(r.bytes)));
                m_chunkTimes.append(m_clock.elapsed());
                m_all.append(m_chunks.last());
            } else if (r.status != k4sim::IoStatus::WouldBlock) {
                m_end = r.status;
            }
        }
        return done(m_all);
    }
    bool readAtLeast(qsizetype count, int timeoutMs)
    {
        return readUntil([count](const QByteArray& all) { return all.size() >= count; }, timeoutMs);
    }
    // Waits for the peer to end the connection.
    k4sim::IoStatus waitForEnd(int timeoutMs)
    {
        readUntil([this](const QByteArray&) { return m_end != k4sim::IoStatus::Ok; }, timeoutMs);
        return m_end;
    }
    void clear()
    {
        m_all.clear();
        m_chunks.clear();
        m_chunkTimes.clear();
    }

    const QByteArray& all() const { return m_all; }
    const QList<QByteArray>& chunks() const { return m_chunks; }
    // Milliseconds between the arrival of the first and the last chunk.
    qint64 spreadMs() const { return m_chunkTimes.isEmpty() ? 0 : m_chunkTimes.last() - m_chunkTimes.first(); }
    k4sim::IoStatus end() const { return m_end; }

private:
    k4sim::Socket m_socket;
    QByteArray m_all;
    QList<QByteArray> m_chunks;
    QList<qint64> m_chunkTimes;
    QElapsedTimer m_clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    k4sim::IoStatus m_end = k4sim::IoStatus::Ok;
};

bool endsWithReply(const QByteArray& all, const QRegularExpression& reply)
{
    return reply.match(QString::fromLatin1(all)).hasMatch();
}

}  // namespace

class TestK4Sim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void otherLoopbackAddress();
    void negotiation();
    void noNegotiation();
    void replies_data();
    void replies();
    void levelIsPlausibleAndReproducible();
    void servesOneClientAfterAnother();
    void stopsOnTerminateAndTimeLimit();
    void silent();
    void connectionEnds_data();
    void connectionEnds();
    void split();
    void joined();
    void late();
    void garbage();
    void highBytes();
    void flood();
    void negotiationStorm();
    void endlessSubnegotiation();
};

void TestK4Sim::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestK4Sim::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("help lists the fault flags") << QStringList{"--help"} << 0 << "--endless-subneg";
    QTest::newRow("unknown flag") << QStringList{"--bogus"} << 2 << "unknown option";
    QTest::newRow("port out of range") << QStringList{"--port", "70000"} << 2 << "bad value";
    QTest::newRow("missing value") << QStringList{"--late-ms"} << 2 << "needs a value";
    // Refusal happens before any bind: these addresses are never listened on.
    QTest::newRow("any IPv4 refused") << QStringList{"--host", "0.0.0.0"} << 2 << "non-loopback";
    QTest::newRow("any IPv6 refused") << QStringList{"--host", "::"} << 2 << "non-loopback";
    QTest::newRow("private address refused") << QStringList{"--host", "203.0.113.5"} << 2 << "non-loopback";
    QTest::newRow("names are not looked up")
        << QStringList{"--host", "radio.invalid", "--allow-non-loopback"} << 2 << "numeric";
}

void TestK4Sim::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, expectedText);

    QProcess process;
    process.start(K4SimLauncher::builtProgram(), args);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QString out = QString::fromLatin1(process.readAllStandardOutput());
    const QString err = QString::fromLatin1(process.readAllStandardError());
    QVERIFY2(!out.startsWith("k4sim listening on"), qPrintable(out));
    QVERIFY2((out + err).contains(expectedText), qPrintable(out + err));
}

void TestK4Sim::otherLoopbackAddress()
{
    Sim sim({"--host", "127.0.0.2", "--no-negotiation"});
    QVERIFY2(sim.line().startsWith("k4sim listening on 127.0.0.2:"), qPrintable(sim.line()));
    QVERIFY(sim.port() != 0);
}

void TestK4Sim::negotiation()
{
    Sim sim({"--verbose"});
    QVERIFY2(sim.port() != 0, qPrintable(sim.line()));
    Client client;
    QVERIFY(client.connectTo(sim.port()));

    QVERIFY(client.readAtLeast(3, 2000));
    QCOMPARE(client.all(), kDoTtype);
    client.clear();
    client.send(kWillTtype);
    QVERIFY(client.readAtLeast(kSbSend.size(), 2000));
    QCOMPARE(client.all(), kSbSend);

    client.clear();
    client.send(kIsDumb + "sm;");
    QVERIFY(client.readUntil([](const QByteArray& a) { return endsWithReply(a, kBarReply); }, 2000));

    QVERIFY(sim.stop());
    const QByteArray err = sim.process().readAllStandardError();
    QVERIFY2(err.contains("terminal type \"dumb\""), err.constData());
    QVERIFY2(err.contains("received command \"sm;\"") && err.contains("sent \"SM"), err.constData());
}

void TestK4Sim::noNegotiation()
{
    Sim sim({"--no-negotiation"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    client.send("sm;");
    QVERIFY(client.readUntil([](const QByteArray& a) { return a.endsWith(';'); }, 2000));
    QVERIFY2(kBarReply.match(QString::fromLatin1(client.all())).hasMatch(), client.all().constData());
}

void TestK4Sim::replies_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("expected");  // whole reply stream, as a pattern

    const QStringList none;
    QTest::newRow("sm") << none << QByteArray("sm;") << "^SM\\d{4};$";
    QTest::newRow("smh") << none << QByteArray("smh;") << "^SMH\\d{3};$";
    QTest::newRow("upper case") << none << QByteArray("SM;") << "^SM\\d{4};$";
    QTest::newRow("mixed case") << none << QByteArray("Smh;") << "^SMH\\d{3};$";
    QTest::newRow("blanks between commands") << none << QByteArray("\r\n sm ;\r\n\tsmh;") << "^SM\\d{4};SMH\\d{3};$";
    QTest::newRow("K41 is silent") << none << QByteArray("K41;sm;") << "^SM\\d{4};$";
    QTest::newRow("unknown command") << none << QByteArray("fa;") << "^\\?;$";
    QTest::newRow("overlong command") << none << QByteArray(500, 's') + ";"
                                      << "^\\?;$";
    QTest::newRow("telnet command stripped") << none << bytes({'s', 255, 241, 'm', ';'}) << "^SM\\d{4};$";
    QTest::newRow("IAC IAC is data") << none << bytes({'s', 255, 255, 'm', ';'}) << "^\\?;$";
    QTest::newRow("fixed bar") << QStringList{"--fixed-sm", "7"} << QByteArray("sm;") << "^SM0007;$";
    QTest::newRow("fixed high resolution")
        << QStringList{"--fixed-smh", "151"} << QByteArray("smh;sm;") << "^SMH151;SM0016;$";
    QTest::newRow("both fixed") << QStringList{"--fixed-smh", "99", "--fixed-sm", "42"} << QByteArray("sm;smh;")
                                << "^SM0042;SMH099;$";
    QTest::newRow("Nagle on") << QStringList{"--no-nodelay", "--fixed-sm", "3"} << QByteArray("sm;") << "^SM0003;$";
}

void TestK4Sim::replies()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, sent);
    QFETCH(QString, expected);

    Sim sim(args + QStringList{"--no-negotiation"});
    QVERIFY2(sim.port() != 0, qPrintable(sim.line()));
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    client.send(sent);
    // Every expected stream ends in the reply to the last command; a marker
    // command after it shows nothing else was sent in between.
    client.send("sm;");
    const QRegularExpression pattern(expected.chopped(1) + "SM\\d{4};$");
    QVERIFY2(
        client.readUntil([&](const QByteArray& a) { return pattern.match(QString::fromLatin1(a)).hasMatch(); }, 2000),
        client.all().toPercentEncoding().constData());
}

void TestK4Sim::levelIsPlausibleAndReproducible()
{
    const auto collect = [](QList<std::pair<int, int>>& readings) {
        Sim sim({"--no-negotiation", "--seed", "4242"});
        Client client;
        QVERIFY(client.connectTo(sim.port()));
        // Queries out of step (bars run ahead by up to 20), still paired by order.
        for (int i = 0; i < 10; ++i)
            client.send(QByteArray("sm;").repeated(20) + QByteArray("smh;").repeated(20));
        QVERIFY(client.readUntil([](const QByteArray& a) { return countReplies(a) >= 400; }, 5000));
        static const QRegularExpression any(QStringLiteral("SMH(\\d{3});|SM(\\d{4});"));
        QList<int> bars;
        QList<int> highs;
        for (auto it = any.globalMatch(QString::fromLatin1(client.all())); it.hasNext();) {
            const auto m = it.next();
            if (m.captured(1).isEmpty())
                bars.append(m.captured(2).toInt());
            else
                highs.append(m.captured(1).toInt());
        }
        QCOMPARE(bars.size(), 200);
        QCOMPARE(highs.size(), 200);
        for (int i = 0; i < 200; ++i)
            readings.append({highs[i], bars[i]});
    };

    QList<std::pair<int, int>> first;
    collect(first);
    if (QTest::currentTestFailed())
        return;
    QSet<int> distinct;
    double sum = 0;
    for (const auto& [high, bar] : first) {
        QVERIFY2(high >= 100 && high <= 230, qPrintable(QString::number(high)));
        QVERIFY(bar >= 0 && bar <= 42);
        QCOMPARE(bar, k4sim::LevelModel::barFor(high));
        distinct.insert(high);
        sum += high;
    }
    const double mean = sum / first.size();
    QVERIFY2(mean > 120 && mean < 200, qPrintable(QString::number(mean)));
    QVERIFY2(distinct.size() >= 10, "the level should vary");
    // A slowly varying level: neighbouring polls mostly stay close together.
    int bigSteps = 0;
    for (int i = 1; i < first.size(); ++i)
        bigSteps += std::abs(first[i].first - first[i - 1].first) > 15 ? 1 : 0;
    QVERIFY2(bigSteps < first.size() / 5, qPrintable(QString::number(bigSteps)));
    // The bar map itself: monotone, ends at 0 and 42.
    for (int high = 0; high < 400; ++high)
        QVERIFY(k4sim::LevelModel::barFor(high) <= k4sim::LevelModel::barFor(high + 1));
    QCOMPARE(k4sim::LevelModel::barFor(120), 0);
    QCOMPARE(k4sim::LevelModel::barFor(200), 42);

    QList<std::pair<int, int>> second;
    collect(second);
    QCOMPARE(second, first);
}

void TestK4Sim::servesOneClientAfterAnother()
{
    Sim sim({"--no-negotiation", "--fixed-sm", "5"});
    for (int round = 0; round < 3; ++round) {
        Client client;
        QVERIFY(client.connectTo(sim.port()));
        client.send("sm;");
        QVERIFY(client.readUntil([](const QByteArray& a) { return a == "SM0005;"; }, 2000));
    }
}

void TestK4Sim::stopsOnTerminateAndTimeLimit()
{
    {
        Sim sim({});
        Client client;
        QVERIFY(client.connectTo(sim.port()));
        QVERIFY(client.readAtLeast(3, 2000));
        QVERIFY(sim.stop());  // SIGTERM with a client attached: exit code 0
        QCOMPARE(client.waitForEnd(2000), k4sim::IoStatus::Closed);
    }
    QProcess process;
    process.start(K4SimLauncher::builtProgram(), {"--port", "0", "--exit-after-seconds", "0.3"});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
}

void TestK4Sim::silent()
{
    Sim sim({"--silent"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    client.send(kWillTtype + "K41;sm;smh;x;");
    QVERIFY(!client.readAtLeast(1, 1000));
    QCOMPARE(client.end(), k4sim::IoStatus::Ok);  // still connected, just mute
}

void TestK4Sim::connectionEnds_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("replies");
    QTest::addColumn<k4sim::IoStatus>("end");

    QTest::newRow("close after 2") << QStringList{"--close-after", "2"} << 2 << k4sim::IoStatus::Closed;
    QTest::newRow("close at once") << QStringList{"--close-after", "0"} << 0 << k4sim::IoStatus::Closed;
    QTest::newRow("reset after 1") << QStringList{"--reset-after", "1"} << 1 << k4sim::IoStatus::Reset;
    // The limit counts whole replies: both halves of a split reply go out first.
    QTest::newRow("close after 1, split")
        << QStringList{"--close-after", "1", "--split"} << 1 << k4sim::IoStatus::Closed;
    QTest::newRow("reset before close") << QStringList{"--reset-after", "1", "--close-after", "1"} << 1
                                        << k4sim::IoStatus::Reset;
}

void TestK4Sim::connectionEnds()
{
    QFETCH(QStringList, args);
    QFETCH(int, replies);
    QFETCH(k4sim::IoStatus, end);

    Sim sim(args + QStringList{"--no-negotiation"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    // One command at a time, each answered before the next goes out, so a
    // reset cannot overtake a reply the client has not read yet.
    for (int i = 0; i < 3 && client.end() == k4sim::IoStatus::Ok; ++i) {
        const int before = countReplies(client.all());
        client.send(i % 2 == 0 ? "sm;" : "smh;");
        client.readUntil([before](const QByteArray& a) { return countReplies(a) > before; }, 1500);
    }
    QCOMPARE(client.waitForEnd(3000), end);
    QCOMPARE(countReplies(client.all()), replies);
}

void TestK4Sim::split()
{
    Sim sim({"--split", "--no-negotiation", "--seed", "1"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    bool cutInsideSmh = false;
    for (int i = 0; i < 12; ++i) {
        client.clear();
        client.send("smh;");
        QVERIFY(client.readUntil([](const QByteArray& a) { return a.endsWith(';'); }, 2000));
        QVERIFY2(kHighReply.match(QString::fromLatin1(client.all())).hasMatch(), client.all().constData());
        QVERIFY2(client.chunks().size() >= 2, client.all().constData());
        QVERIFY2(client.spreadMs() >= 10, qPrintable(QString::number(client.spreadMs())));  // a real pause
        cutInsideSmh = cutInsideSmh || client.chunks().first() == "S" || client.chunks().first() == "SM";
    }
    QVERIFY(cutInsideSmh);
}

void TestK4Sim::joined()
{
    Sim sim({"--joined", "--no-negotiation"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    client.send("sm;");
    QVERIFY(!client.readAtLeast(1, 300));  // held back for its partner
    client.send("smh;");
    QVERIFY(client.readUntil([](const QByteArray& a) { return a.endsWith(';') && a.contains("SMH"); }, 2000));
    QCOMPARE(client.chunks().size(), 1);
    QVERIFY2(QRegularExpression("^SM\\d{4};SMH\\d{3};$").match(QString::fromLatin1(client.all())).hasMatch(),
             client.all().constData());

    // A bar reply without a partner still leaves, alone, once the hold ends.
    client.clear();
    client.send("sm;");
    QVERIFY(client.readUntil([](const QByteArray& a) { return a.endsWith(';'); }, 3000));
    QVERIFY(kBarReply.match(QString::fromLatin1(client.all())).hasMatch());
}

void TestK4Sim::late()
{
    Sim sim({"--late-ms", "700", "--no-negotiation"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    QElapsedTimer timer;
    timer.start();
    client.send("sm;");
    QVERIFY(client.readUntil([](const QByteArray& a) { return a.endsWith(';'); }, 3000));
    QVERIFY2(timer.elapsed() >= 690, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(kBarReply.match(QString::fromLatin1(client.all())).hasMatch());
}

void TestK4Sim::garbage()
{
    Sim sim({"--garbage", "--no-negotiation", "--seed", "9"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    client.send(QByteArray("sm;smh;").repeated(10));
    QVERIFY(client.readUntil([](const QByteArray& a) { return countReplies(a) >= 20; }, 3000));
    static const QRegularExpression clean(QStringLiteral("^(SM\\d{4};|SMH\\d{3};)*$"));
    QVERIFY(!clean.match(QString::fromLatin1(client.all())).hasMatch());
    QVERIFY(!client.all().contains(char(255)));  // junk never forms telnet commands
    // The framing survives: the junk holds no long run without ";".
    qsizetype longest = 0;
    for (const QByteArray& part : client.all().split(';'))
        longest = std::max(longest, part.size());
    QVERIFY2(longest <= 40, qPrintable(QString::number(longest)));
}

void TestK4Sim::highBytes()
{
    Sim sim({"--high-bytes", "--no-negotiation"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    client.send("sm;smh;");
    QVERIFY(client.readUntil([](const QByteArray& a) { return a.count(';') >= 2; }, 2000));
    const QList<QByteArray> parts = client.all().split(';');
    QVERIFY(parts[0].startsWith("SM") && parts[1].startsWith("SMH"));
    QVERIFY(static_cast<unsigned char>(parts[0].at(2)) > 127);
    QVERIFY(static_cast<unsigned char>(parts[1].at(3)) > 127);
    QCOMPARE(parts[0].size(), 7);  // SM, one high byte, four digits
}

void TestK4Sim::flood()
{
    Sim sim({"--flood-mibps", "32", "--no-negotiation"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    client.send("sm;");
    QVERIFY(client.readUntil([](const QByteArray& a) { return a.size() >= 4 * 1024 * 1024 && countReplies(a) >= 1; },
                             10000));
}

void TestK4Sim::negotiationStorm()
{
    Sim sim({"--negotiation-storm", "--no-negotiation"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    client.send("sm;");
    QVERIFY(
        client.readUntil([](const QByteArray& a) { return a.count(char(255)) >= 600 && countReplies(a) >= 1; }, 5000));
    QSet<int> verbs;
    QSet<int> options;
    QByteArray plain;
    const QByteArray& all = client.all();
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (static_cast<unsigned char>(all[i]) != 255) {
            plain.append(all[i]);
            continue;
        }
        if (i + 2 >= all.size())
            break;
        verbs.insert(static_cast<unsigned char>(all[i + 1]));
        options.insert(static_cast<unsigned char>(all[i + 2]));
        i += 2;
    }
    QCOMPARE(verbs, (QSet<int>{251, 252, 253, 254}));
    QVERIFY(options.size() >= 20);
    QVERIFY2(kBarReply.match(QString::fromLatin1(plain)).hasMatch(), plain.constData());
}

void TestK4Sim::endlessSubnegotiation()
{
    Sim sim({"--endless-subneg", "--stream-kibps", "512", "--no-negotiation"});
    Client client;
    QVERIFY(client.connectTo(sim.port()));
    client.send("sm;");
    QVERIFY(client.readAtLeast(128 * 1024, 5000));
    const QByteArray& all = client.all();
    const qsizetype sb = all.indexOf(bytes({255, 250}));
    QVERIFY(sb > 0);
    QVERIFY(kBarReply.match(QString::fromLatin1(all.left(sb))).hasMatch());
    // After IAC SB <option> no IAC ever comes again, so no IAC SE either.
    QVERIFY(all.indexOf(char(255), sb + 2) < 0);
    // Later replies vanish inside the subnegotiation too.
    client.clear();
    client.send("smh;");
    QVERIFY(client.readAtLeast(16 * 1024, 5000));
    QVERIFY(!client.all().contains(char(255)));
}

QTEST_GUILESS_MAIN(TestK4Sim)
#include "TestK4Sim.moc"
