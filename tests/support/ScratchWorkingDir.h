#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// A fresh temporary folder as the working directory while it lives: capture
// files land there, and the previous working directory comes back after.
class ScratchWorkingDir {
public:
    ScratchWorkingDir() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~ScratchWorkingDir() { QDir::setCurrent(m_previous); }
    ScratchWorkingDir(const ScratchWorkingDir&) = delete;
    ScratchWorkingDir& operator=(const ScratchWorkingDir&) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// The lines of a capture file without their CR LF ends; complete tells
// whether the file ends with a whole line.
inline QStringList CaptureFileLines(const QString& path, bool* complete = nullptr)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    if (complete)
        *complete = all.isEmpty() || all.endsWith("\r\n");
    QStringList out = QString::fromLatin1(all).split(QStringLiteral("\r\n"));
    out.removeLast();
    return out;
}

// The lines of a capture file, or the one line "<incomplete line>" when the
// file does not end with a whole line: one comparison checks both.
inline QStringList WholeCaptureFileLines(const QString& path)
{
    bool complete = false;
    const QStringList out = CaptureFileLines(path, &complete);
    return complete ? out : QStringList{QStringLiteral("<incomplete line>")};
}
