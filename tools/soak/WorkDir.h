#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>

// The folder a run keeps its capture files in: the one asked for (created
// when missing), or a new temporary one named after pattern. Returns its
// absolute path, or an empty string after telling out why there is none.
QString PrepareWorkDir(const QString& requested, const QString& pattern, std::unique_ptr<QTemporaryDir>& temporary,
                       QTextStream& out);
