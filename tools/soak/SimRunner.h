#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

// The bundled radio simulator on a free loopback port. Starting and stopping
// keep the caller's event loop running, so a window in the same thread goes
// on handling its events meanwhile. The simulator's log goes to a file.
class SimRunner {
public:
    SimRunner() = default;
    ~SimRunner();
    SimRunner(const SimRunner&) = delete;
    SimRunner& operator=(const SimRunner&) = delete;

    // Starts k4sim with options on 127.0.0.1, port chosen by the system.
    // lifetimeSeconds bounds the simulator's life even if this process dies
    // without stopping it. Returns false when it did not announce its port
    // within a few seconds; error() then says why.
    bool start(const QString& program, const QStringList& options, const QString& logFile, int lifetimeSeconds);
    // Ends the simulator (and with it every connection to it).
    void stop();

    quint16 port() const { return m_port; }
    QString error() const { return m_error; }

private:
    QProcess m_process;
    QByteArray m_out;
    quint16 m_port = 0;
    bool m_draining = false;
    QString m_error;
};
