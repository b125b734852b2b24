#include "ProgramIcon.h"

#include <QString>

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/quorvel-%1.png").arg(size), QSize(size, size));
    return icon;
}
