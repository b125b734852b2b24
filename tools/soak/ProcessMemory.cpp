#include "ProcessMemory.h"

#include <QFile>
#include <QString>

std::optional<ProcessMemory> ProcessMemory::of(qint64 pid)
{
#if defined(Q_OS_LINUX)
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    ProcessMemory m;
    bool haveRss = false;
    // Lines look like "VmRSS:\t   12345 kB".
    for (const QByteArray& line : status.readAll().split('\n')) {
        const auto value
            = [&line] { return line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong(); };
        if (line.startsWith("VmRSS:")) {
            m.rssKiB = value();
            haveRss = true;
        } else if (line.startsWith("VmHWM:")) {
            m.hwmKiB = value();
        }
    }
    if (!haveRss)
        return std::nullopt;  // a zombie has no memory lines left
    return m;
#else
    Q_UNUSED(pid);
    return std::nullopt;
#endif
}
