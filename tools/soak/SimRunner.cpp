#include "SimRunner.h"

#include "EventWait.h"

#include <QRegularExpression>

SimRunner::~SimRunner()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool SimRunner::start(const QString& program, const QStringList& options, const QString& logFile,
                      int lifetimeSeconds)
{
    stop();
    m_out.clear();
    m_port = 0;
    m_error.clear();
    m_process.setProgram(program);
    m_process.setArguments(QStringList{QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                       QStringLiteral("0"), QStringLiteral("--exit-after-seconds"),
                                       QString::number(lifetimeSeconds)} +
                           options);
    m_process.setStandardErrorFile(logFile, QIODevice::Append);
    // Keep reading stdout for the simulator's whole life, so it never blocks on a full pipe.
    if (!m_draining) {
        m_draining = true;
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                         [this] { m_out += m_process.readAllStandardOutput(); });
    }
    m_process.start();
    static const QRegularExpression listening(QStringLiteral("k4sim listening on 127\\.0\\.0\\.1:([0-9]+)"));
    const bool announced = EventWait::spinUntil(
        [this] {
            m_out += m_process.readAllStandardOutput();
            if (m_out.size() > 4096)
                m_out = m_out.right(4096);
            const auto match = listening.match(QString::fromLatin1(m_out));
            if (match.hasMatch())
                m_port = match.captured(1).toUShort();
            return m_port != 0 || m_process.state() == QProcess::NotRunning;
        },
        5000);
    if (!announced || m_port == 0) {
        m_error = QStringLiteral("k4sim %1 did not announce a port (%2)")
                      .arg(options.join(QLatin1Char(' ')), m_process.errorString());
        stop();
        return false;
    }
    return true;
}

void SimRunner::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!EventWait::spinUntil([this] { return m_process.state() == QProcess::NotRunning; }, 3000)) {
        m_process.kill();
        EventWait::spinUntil([this] { return m_process.state() == QProcess::NotRunning; }, 3000);
    }
    m_port = 0;
}
