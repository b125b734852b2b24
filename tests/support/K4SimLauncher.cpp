#include "K4SimLauncher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>

K4SimLauncher::K4SimLauncher(Wait wait) : m_wait(wait), m_program(builtProgram()) {}

K4SimLauncher::~K4SimLauncher()
{
    stop();
}

QString K4SimLauncher::builtProgram()
{
    return QStringLiteral(K4SIM_PATH);
}

bool K4SimLauncher::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        if (m_wait == Wait::RunEvents) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        } else {
            m_process.waitForReadyRead(10);
        }
    }
    return done();
}

bool K4SimLauncher::start(const QStringList& arguments, int timeoutMs)
{
    stop();
    // The next start-up line must not go where the last run's output went.
    QObject::disconnect(m_discarding);
    m_line.clear();
    m_error.clear();
    m_port = 0;
    QStringList all{QStringLiteral("--port"), QStringLiteral("0")};
    if (!arguments.contains(QStringLiteral("--host")))
        all << QStringLiteral("--host") << QStringLiteral("127.0.0.1");
    m_process.setProgram(m_program);
    m_process.setArguments(all + arguments);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    if (!m_logFile.isEmpty())
        m_process.setStandardErrorFile(m_logFile, QIODevice::Append);
    m_process.start();

    waitUntil([this] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; }, timeoutMs);
    m_line = QString::fromLatin1(m_process.readLine()).trimmed();
    static const QRegularExpression listening(QStringLiteral("^k4sim listening on (.+):(\\d+)$"));
    const auto match = listening.match(m_line);
    if (match.hasMatch())
        m_port = match.captured(2).toUShort();
    if (m_port == 0) {
        m_error = QStringLiteral("k4sim %1 did not announce a port (%2; said \"%3\")")
                      .arg(arguments.join(QLatin1Char(' ')), m_process.errorString(), m_line);
        stop();
        return false;
    }
    if (m_discardOutput) {
        m_process.readAllStandardOutput();
        m_discarding = QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                                        [this] { m_process.readAllStandardOutput(); });
    }
    return true;
}

bool K4SimLauncher::stop()
{
    const auto ended = [this] { return m_process.state() == QProcess::NotRunning; };
    if (!ended()) {
        m_process.terminate();
        if (m_wait == Wait::RunEvents ? !waitUntil(ended, 3000) : !m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
            return false;
        }
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}
