#include "WorkDir.h"

#include <QDir>
#include <QFileInfo>

QString PrepareWorkDir(const QString& requested, const QString& pattern, std::unique_ptr<QTemporaryDir>& temporary,
                       QTextStream& out)
{
    QString dir = requested;
    if (dir.isEmpty()) {
        temporary = std::make_unique<QTemporaryDir>(QDir::temp().filePath(pattern));
        if (!temporary->isValid()) {
            out << "cannot create a temporary folder\n";
            return {};
        }
        dir = temporary->path();
    } else if (!QDir().mkpath(dir)) {
        out << "cannot create " << dir << "\n";
        return {};
    }
    return QFileInfo(dir).absoluteFilePath();
}
