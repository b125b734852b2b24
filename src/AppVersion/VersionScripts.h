#pragma once

#include "VersionSerializer.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Texts that the build generates from one description, so the Windows
// resource and the embedded block cannot drift apart.

// A C++ source defining EmbeddedVersionBlock() over the given bytes.
QString MakeEmbeddedBlockSource(const QByteArray& block);

// A Windows resource script: the VERSIONINFO resource of the description,
// the program icon and the application manifest (paths written as given,
// with forward slashes). Gives nothing and a message when the description
// holds something a resource script cannot express (a non-zero file date).
std::optional<QString> MakeResourceScript(const VersionDescription& description, const QString& iconPath,
                                          const QString& manifestPath, QString* error = nullptr);
