#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A "VmRSS:"-style field of /proc/self/status, in KiB; -1 when unreadable.
inline long ProcStatusKib(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}
