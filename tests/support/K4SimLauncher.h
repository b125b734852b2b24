#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// Starts the bundled radio simulator, reads the line it announces its
// address with ("k4sim listening on HOST:PORT") and stops it again. Unless
// the arguments name a host, it listens on 127.0.0.1; the port is always
// chosen by the system. Whatever the simulator writes after its start-up
// line stays readable through process().
class K4SimLauncher {
public:
    // How the calling thread waits for the simulator: blocked, or running its
    // event loop so that a window in the same thread goes on meanwhile.
    enum class Wait { Blocking, RunEvents };

    explicit K4SimLauncher(Wait wait = Wait::Blocking);
    ~K4SimLauncher();
    K4SimLauncher(const K4SimLauncher&) = delete;
    K4SimLauncher& operator=(const K4SimLauncher&) = delete;

    // The simulator built with the tree.
    static QString builtProgram();

    void setProgram(const QString& program) { m_program = program; }
    // Appends the simulator's log (its stderr) to a file instead of keeping it.
    void setLogFile(const QString& path) { m_logFile = path; }
    // Drops what the simulator writes after its start-up line, so a long run
    // never fills the pipe.
    void setDiscardOutput(bool discard) { m_discardOutput = discard; }

    // Starts the simulator with arguments; false when it did not announce a
    // port within timeoutMs, with error() saying why.
    bool start(const QStringList& arguments, int timeoutMs = 5000);
    // Terminates the simulator, killing it when it does not end within 3 s;
    // true when it ended normally with exit code 0.
    bool stop();

    quint16 port() const { return m_port; }
    QString portText() const { return QString::number(m_port); }
    QString startupLine() const { return m_line; }
    QString error() const { return m_error; }
    QProcess& process() { return m_process; }

private:
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);

    Wait m_wait;
    QProcess m_process;
    QString m_program;
    QString m_logFile;
    bool m_discardOutput = false;
    QMetaObject::Connection m_discarding;
    QString m_line;
    QString m_error;
    quint16 m_port = 0;
};
