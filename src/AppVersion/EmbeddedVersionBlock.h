#pragma once

#include <QByteArrayView>

// The version block that the build generates from VersionInfo.txt and links
// into builds for systems without Windows version resources.
QByteArrayView EmbeddedVersionBlock();
