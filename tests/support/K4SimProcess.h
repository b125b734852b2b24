#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

// Runs the bundled radio simulator on a free loopback port for one test.
class K4SimProcess {
public:
    explicit K4SimProcess(const QStringList& options = {})
    {
        m_process.setProgram(QStringLiteral(K4SIM_PATH));
        m_process.setArguments(QStringList{QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                                           QStringLiteral("--port"), QStringLiteral("0")} +
                               options);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return;
        static const QRegularExpression listening(QStringLiteral("listening on ([0-9.]+):([0-9]+)"));
        QByteArray out;
        for (int i = 0; i < 100 && m_port == 0; ++i) {
            m_process.waitForReadyRead(100);
            out += m_process.readAllStandardOutput();
            const auto m = listening.match(QString::fromUtf8(out));
            if (m.hasMatch())
                m_port = m.captured(2).toUShort();
        }
    }
    ~K4SimProcess() { stop(); }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }

    // How often the simulator has logged receiving command (e.g. "sm;");
    // needs the option --verbose.
    int receivedCount(const QByteArray& command)
    {
        m_log += m_process.readAllStandardError();
        return int(m_log.count("received command \"" + command + "\""));
    }

    quint16 port() const { return m_port; }
    QString portText() const { return QString::number(m_port); }
    bool ok() const { return m_port != 0; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QByteArray m_log;
};
