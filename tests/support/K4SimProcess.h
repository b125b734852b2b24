#pragma once

#include "K4SimLauncher.h"

#include <QStringList>

// Runs the bundled radio simulator on a free loopback port for one test.
class K4SimProcess {
public:
    explicit K4SimProcess(const QStringList& options = {}) { m_sim.start(options); }

    void stop() { m_sim.stop(); }

    // How often the simulator has logged receiving command (e.g. "sm;");
    // needs the option --verbose.
    int receivedCount(const QByteArray& command)
    {
        m_log += m_sim.process().readAllStandardError();
        return int(m_log.count("received command \"" + command + "\""));
    }

    quint16 port() const { return m_sim.port(); }
    QString portText() const { return m_sim.portText(); }
    bool ok() const { return m_sim.port() != 0; }

private:
    K4SimLauncher m_sim;
    QByteArray m_log;
};
