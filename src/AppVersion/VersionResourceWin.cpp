#include "VersionResource.h"

#include <windows.h>

std::optional<QByteArrayView> OwnVersionResource()
{
    // Type 16 is RT_VERSION; identifier 1 is VS_VERSION_INFO. Resources of
    // the executable stay mapped for the life of the process, so nothing has
    // to be released here.
    HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    if (!info)
        return std::nullopt;
    HGLOBAL loaded = LoadResource(nullptr, info);
    if (!loaded)
        return std::nullopt;
    const void* data = LockResource(loaded);
    const DWORD size = SizeofResource(nullptr, info);
    if (!data)
        return std::nullopt;
    return QByteArrayView(static_cast<const char*>(data), static_cast<qsizetype>(size));
}
