#include "AppVersion.h"

#include "VersionBlock.h"
#include "VersionResource.h"

QString GetVersionInfo(const QString& AIdent)
{
    return GetVersionInfoIn(OwnVersionResource(), AIdent);
}

QString FileVersion()
{
    return GetVersionInfo(QStringLiteral("FileVersion"));
}
