#pragma once

#include "CaptureWriter.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <functional>
#include <mutex>

// Stands in for the capture writer's file calls while it lives: every call
// goes to the real file system, is logged by name ("open", "write", "sync",
// "syncdir", "truncate", "close", "remove"), and a call can be made to fail
// with a chosen errno instead, for a number of times. The calls may come from
// the capture's writer thread while the test reads the log.
class ScriptedFileCalls : public CaptureWriter::FileCalls {
public:
    ScriptedFileCalls() { install(this); }
    ~ScriptedFileCalls() override { install(nullptr); }
    ScriptedFileCalls(const ScriptedFileCalls&) = delete;
    ScriptedFileCalls& operator=(const ScriptedFileCalls&) = delete;

    QStringList log() const
    {
        const std::lock_guard lock(m_mutex);
        return m_log;
    }
    void clearLog()
    {
        const std::lock_guard lock(m_mutex);
        m_log.clear();
    }
    // Adds a marker of the test's own to the log.
    void note(const QString& what)
    {
        const std::lock_guard lock(m_mutex);
        m_log << what;
    }
    // Runs after each call is logged, before it is carried out, on the thread
    // that makes the call. Set it before the calls begin.
    std::function<void(const QString& call)> onCall;

    // The next `times` calls named `call` fail with `error` without reaching
    // the file system.
    void failNext(const QString& call, int error, int times = 1)
    {
        const std::lock_guard lock(m_mutex);
        m_failures[call] = {error, times};
    }

    int openForAppend(const QString& name, bool* created) override
    {
        return step("open") ? real().openForAppend(name, created) : -1;
    }
    long long write(int fd, const char* data, std::size_t size) override
    {
        return step("write") ? real().write(fd, data, size) : -1;
    }
    int syncData(int fd) override { return step("sync") ? real().syncData(fd) : -1; }
    int syncDirectory(const QString& directory) override
    {
        return step("syncdir") ? real().syncDirectory(directory) : -1;
    }
    int truncate(int fd, long long size) override { return step("truncate") ? real().truncate(fd, size) : -1; }
    long long size(int fd) override { return real().size(fd); }
    int close(int fd) override
    {
        // A close that "fails" still releases the descriptor, as POSIX close does.
        if (step("close"))
            return real().close(fd);
        const int error = errno;
        real().close(fd);
        errno = error;
        return -1;
    }
    int remove(const QString& name) override { return step("remove") ? real().remove(name) : -1; }
    // Not logged: it comes before every write.
    int sameFile(int fd, const QString& name) override { return real().sameFile(fd, name); }

private:
    struct Failure {
        int error = 0;
        int times = 0;
    };

    static FileCalls& real() { return FileCalls::system(); }

    // Logs the call; false (with errno set) when it is to fail.
    bool step(const char* name)
    {
        const QString call = QString::fromLatin1(name);
        {
            const std::lock_guard lock(m_mutex);
            m_log << call;
        }
        if (onCall)
            onCall(call);
        const std::lock_guard lock(m_mutex);
        auto it = m_failures.find(call);
        if (it == m_failures.end() || it->times <= 0)
            return true;
        --it->times;
        errno = it->error;
        return false;
    }

    mutable std::mutex m_mutex;
    QStringList m_log;
    QMap<QString, Failure> m_failures;
};
