#include "ProgramErrors.h"

#include <cerrno>

EInOutError::EInOutError(int errorCode) : std::runtime_error(MessageFor(errorCode).toStdString()), ErrorCode(errorCode)
{
}

QString EInOutError::MessageFor(int errorCode)
{
    switch (errorCode) {
    case 2: return QStringLiteral("File not found");
    case 3: return QStringLiteral("Invalid filename");
    case 4: return QStringLiteral("Too many open files");
    case 5: return QStringLiteral("File access denied");
    case 100: return QStringLiteral("Read beyond end of file");
    case 101: return QStringLiteral("Disk full");
    case 106: return QStringLiteral("Invalid numeric input");
    default: return QStringLiteral("I/O error %1").arg(errorCode);
    }
}

EConvertError EConvertError::invalidInteger(const QString& text)
{
    return EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
}

EConvertError EConvertError::invalidFloat(const QString& text)
{
    return EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text).toStdString());
}

int WindowsErrorFromErrno(int error)
{
    switch (error) {
    case ENOENT:  // a folder of the path is missing
    case ENOTDIR:
    case ENAMETOOLONG: return 3;  // ERROR_PATH_NOT_FOUND
    case EMFILE:
    case ENFILE: return 4;  // ERROR_TOO_MANY_OPEN_FILES
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return 5;  // ERROR_ACCESS_DENIED
    case EBUSY:
    case ETXTBSY: return 32;  // ERROR_SHARING_VIOLATION
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return 112;          // ERROR_DISK_FULL
    case EFBIG: return 223;  // ERROR_FILE_TOO_LARGE
    case EINVAL:
    case EILSEQ: return 123;  // ERROR_INVALID_NAME
    case EIO: return 1117;    // ERROR_IO_DEVICE
    default: return 31;       // ERROR_GEN_FAILURE
    }
}
