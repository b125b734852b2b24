#include "ClosedLoopbackPort.h"
#include "IdExceptions.h"
#include "RadioLink.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <memory>

// The link object against a radio the test plays on loopback: what it hands
// to its own thread, and what it keeps from one connection to the next.
class TestRadioLink : public QObject {
    Q_OBJECT
private slots:
    void repliesAndTheRadiosCloseArriveOnTheLinksThreadInOrder();
    void closedLinksLateChunksAreDropped();
    void halfReplyDoesNotJoinTheNextConnection();
    void failedConnectRaisesItsTextsAndThrows();

private:
    static void aim(RadioLink& link, quint16 port)
    {
        link.setHost(QStringLiteral("127.0.0.1"));
        link.setPort(port);
        link.setConnectTimeout(2000);
    }
    struct Radio {
        QTcpServer server;
        std::unique_ptr<QTcpSocket> peer;
        Radio() { server.listen(QHostAddress::LocalHost); }
        void aim(RadioLink& link) { TestRadioLink::aim(link, server.serverPort()); }
        bool accept()
        {
            if (!server.hasPendingConnections() && !server.waitForNewConnection(2000))
                return false;
            peer.reset(server.nextPendingConnection());
            return peer != nullptr;
        }
        void send(const QByteArray& bytes)
        {
            peer->write(bytes);
            peer->waitForBytesWritten(1000);
        }
    };
    // A link connected to the radio, its chunks counted.
    struct Linked {
        Radio radio;
        RadioLink link;
        QSignalSpy chunks{&link, &RadioLink::dataAvailable};
        bool connect()
        {
            radio.aim(link);
            link.Connect();
            return chunks.isValid() && radio.accept();
        }
    };
};

void TestRadioLink::repliesAndTheRadiosCloseArriveOnTheLinksThreadInOrder()
{
    Radio radio;
    RadioLink link;
    radio.aim(link);
    QStringList events;
    bool allOnThisThread = true;
    const auto note = [&](const QString& what) {
        events << what;
        allOnThisThread = allOnThisThread && QThread::currentThread() == thread();
    };
    connect(&link, &RadioLink::status, this, [&](TIdStatus, const QString& text) { note(text); });
    connect(&link, &RadioLink::statusFromRadio, this,
            [&](TIdStatus, const QString& text) { note(QStringLiteral("radio: ") + text); });
    connect(&link, &RadioLink::connected, this, [&] { note(QStringLiteral("connected")); });
    connect(&link, &RadioLink::dataAvailable, this, [&](const TIdBytes& buffer, const QStringList& replies) {
        note(QString::fromLatin1(buffer) + QStringLiteral(" -> ") + replies.join(QLatin1Char('|')));
    });

    link.Connect();
    QVERIFY(radio.accept());
    radio.send("SM0012;SMH1");
    radio.send("51;");
    radio.peer->close();
    QTRY_VERIFY(events.contains(QStringLiteral("radio: Disconnected.")));
    QVERIFY(allOnThisThread);
    // Chunks may be cut anywhere by the network; the replies and the order are fixed.
    const QString last = events.takeLast();
    QCOMPARE(last, QStringLiteral("radio: Disconnected."));
    QCOMPARE(events.mid(0, 3), (QStringList{QStringLiteral("Connecting to 127.0.0.1."), QStringLiteral("Connected."),
                                            QStringLiteral("connected")}));
    QStringList replies;
    for (const QString& chunk : events.mid(3))
        replies << chunk.section(QStringLiteral(" -> "), 1).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QCOMPARE(replies, (QStringList{QStringLiteral("SM0012;"), QStringLiteral("SMH151;")}));
    QVERIFY(!link.Connected());
}

void TestRadioLink::closedLinksLateChunksAreDropped()
{
    Linked l;
    auto& [radio, link, chunks] = l;
    QVERIFY(l.connect());
    radio.send("SMH151;");
    // Read by the reader thread, but not yet handed over when the link closes.
    QTest::qSleep(200);
    link.Disconnect();
    QCoreApplication::processEvents();
    QTest::qWait(100);
    QCOMPARE(chunks.count(), 0);
}

void TestRadioLink::halfReplyDoesNotJoinTheNextConnection()
{
    Linked l;
    auto& [radio, link, chunks] = l;
    QVERIFY(l.connect());
    radio.send("SMH1");
    QTRY_COMPARE(chunks.count(), 1);
    QVERIFY(chunks.takeFirst().at(1).toStringList().isEmpty());  // held for the rest
    link.Disconnect();

    QVERIFY(l.connect());
    radio.send("51;");
    QTRY_COMPARE(chunks.count(), 1);
    QCOMPARE(chunks.takeFirst().at(1).toStringList(), QStringList{QStringLiteral("51;")});
    link.Disconnect();
}

void TestRadioLink::failedConnectRaisesItsTextsAndThrows()
{
    const quint16 port = ClosedLoopbackPort();
    QVERIFY(port != 0);
    RadioLink link;
    aim(link, port);
    QStringList texts;
    connect(&link, &RadioLink::status, this, [&](TIdStatus, const QString& text) { texts << text; });
    QSignalSpy connected(&link, &RadioLink::connected);
    QVERIFY(connected.isValid());
    QVERIFY_THROWS_EXCEPTION(EIdSocketError, link.Connect());
    QCOMPARE(texts, QStringList{QStringLiteral("Connecting to 127.0.0.1.")});
    QCOMPARE(connected.count(), 0);
    QVERIFY(!link.Connected());
    QVERIFY(!link.ConnectPending());
    // The connect thread's late word changes nothing.
    QTest::qWait(50);
    QVERIFY(!link.Connected());
}

QTEST_GUILESS_MAIN(TestRadioLink)
#include "TestRadioLink.moc"
