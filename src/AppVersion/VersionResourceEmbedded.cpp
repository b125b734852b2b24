#include "VersionResource.h"

#include "EmbeddedVersionBlock.h"

std::optional<QByteArrayView> OwnVersionResource()
{
    const QByteArrayView block = EmbeddedVersionBlock();
    if (block.isEmpty())
        return std::nullopt;
    return block;
}
