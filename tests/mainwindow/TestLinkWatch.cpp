#include "ProgramWiring.h"
#include "ScratchWorkingDir.h"
#include "SessionEndWatcher.h"
#include "LoopGapMeter.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A radio played on loopback by the test: it accepts every connection and
// then either answers whatever it receives, reads but never answers, or
// stops reading altogether (its buffers small, so they fill soon).
class PlayedRadio : public QObject {
public:
    enum class Manner { Answers, Silent, StopsReading };

    explicit PlayedRadio(Manner manner) : m_manner(manner)
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* peer = m_server.nextPendingConnection()) {
                m_peers.emplace_back(peer);
                if (m_manner == Manner::StopsReading) {
                    peer->setReadBufferSize(1);
                    peer->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 2048);
                    continue;
                }
                connect(peer, &QTcpSocket::readyRead, peer, [this, peer] {
                    peer->readAll();
                    if (m_manner == Manner::Answers)
                        peer->write("?;");  // not a meter reply, but an answer
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    int connections() const { return int(m_peers.size()); }

private:
    Manner m_manner;
    QTcpServer m_server;
    std::vector<std::unique_ptr<QTcpSocket>> m_peers;
};

const QString kDisconnected = QStringLiteral("Disconnected.");

}  // namespace

// Links that stay open but stop working: noticed, lost and tried again like
// a closed one, without ever freezing the window.
class TestLinkWatch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init() { m_dir = std::make_unique<ScratchWorkingDir>(); }
    void cleanup() { m_dir.reset(); }

    void linkThatNeverAnswersIsLost_data();
    void linkThatNeverAnswersIsLost();
    void radioThatStopsReadingFreezesNothing();

private:
    static void startPolling(WindowFixture& f, const PlayedRadio& radio)
    {
        f.w->link().setSilenceLimit(1500ms);
        f.w->reconnect().setPauses({300ms});
        QVERIFY(f.startPolling(radio.port()));
    }

    std::unique_ptr<ScratchWorkingDir> m_dir;
};

void TestLinkWatch::linkThatNeverAnswersIsLost_data()
{
    QTest::addColumn<bool>("answers");
    QTest::newRow("radio says nothing") << false;
    QTest::newRow("radio answers anything") << true;
}

void TestLinkWatch::linkThatNeverAnswersIsLost()
{
    QFETCH(bool, answers);
    PlayedRadio radio(answers ? PlayedRadio::Manner::Answers : PlayedRadio::Manner::Silent);
    WindowFixture f;
    QStringList texts;
    connect(&f.w->link(), &RadioLink::statusFromRadio, this, [&](TIdStatus, const QString& text) { texts << text; });
    startPolling(f, radio);
    if (answers) {
        // Well past the limit, the answering radio keeps its one connection.
        QTest::qWait(4000);
        QVERIFY(f.w->S.bConnectionStatus);
        QVERIFY(texts.isEmpty());
        QCOMPARE(radio.connections(), 1);
        QCOMPARE(f.ui().OnLineLED->colour(), Led::LedColour::Lime);
        return;
    }
    // Lost like a closed link: red, "Disconnected.", no box, and tried again.
    QTRY_VERIFY_WITH_TIMEOUT(texts.contains(kDisconnected), 4000);
    QVERIFY(!f.w->S.bConnectionStatus);
    QTRY_VERIFY_WITH_TIMEOUT(radio.connections() >= 2, 4000);
    QTRY_VERIFY_WITH_TIMEOUT(f.w->S.bConnectionStatus, 2000);
    QVERIFY(f.w->Poller->isActive());
    QVERIFY(f.boxes.shown.isEmpty());
    // Stop Poller ends the watch with the polling: nothing is lost afterwards.
    QTest::mouseClick(f.ui().bStopPoller, Qt::LeftButton);
    QTRY_VERIFY(!f.w->link().Connected());
    const int lost = int(texts.count(kDisconnected));
    QTest::qWait(2500);
    QCOMPARE(int(texts.count(kDisconnected)), lost);
    QVERIFY(!f.w->reconnect().active());
}

void TestLinkWatch::radioThatStopsReadingFreezesNothing()
{
    PlayedRadio radio(PlayedRadio::Manner::StopsReading);
    WindowFixture f;
#ifndef Q_OS_WIN
    // As a program started from a terminal gets it, whatever ran this test.
    std::signal(SIGTERM, SIG_DFL);
#endif
    SessionEndWatcher sessionEnd;
    ConnectProgramEnd(*qApp, *f.w, sessionEnd);
    QSignalSpy ending(&sessionEnd, &SessionEndWatcher::sessionEnding);
    QVERIFY(ending.isValid());
    startPolling(f, radio);
    f.w->link().setSilenceLimit(RadioLink::kSilenceLimit);  // only the sends decide here
    QVERIFY(f.beginCapture(2, QStringLiteral("full")));
    QStringList texts;
    connect(&f.w->link(), &RadioLink::statusFromRadio, this, [&](TIdStatus, const QString& text) { texts << text; });

    // Hours of polls that the radio never read, in one go: the buffers fill,
    // and the send that no longer fits loses the link instead of waiting.
    LoopGapMeter gaps;
    const QString hoursOfPolls(4 << 20, QLatin1Char('s'));
    QElapsedTimer took;
    took.start();
    for (int i = 0; i < 8 && f.w->S.bConnectionStatus; ++i)
        f.w->link().SendString(hoursOfPolls);
    QVERIFY2(took.elapsed() < 1000, qPrintable(QString::number(took.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(texts.contains(kDisconnected), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(radio.connections() >= 2, 4000);  // tried again
    QTest::qWait(1500);                                        // polls go on against the new connection
    QVERIFY2(gaps.longestMs() < 1000, qPrintable(QString::number(gaps.longestMs())));

#ifndef Q_OS_WIN
    // An ending signal still ends it at once, the capture closed whole.
    // (Windows has no such signals; its session end is tested on its own.)
    const QString path = f.w->S.sFileName;
    std::raise(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(ending.size(), 1, 3000);
    QVERIFY(!f.w->S.FileWrite);
    bool complete = false;
    CaptureFileLines(path, &complete);
    QVERIFY(complete);
#endif
}

QTEST_MAIN(TestLinkWatch)
#include "TestLinkWatch.moc"
