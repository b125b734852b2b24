#include "CaptureWriter.h"

#include "ProgramErrors.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int openForAppend(const QString& name)
{
    int fd = -1;
    // Others may read the file while we write it, but neither write nor delete it.
    const errno_t err = _wsopen_s(&fd, reinterpret_cast<const wchar_t*>(name.utf16()),
                                  _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY, _SH_DENYWR,
                                  _S_IREAD | _S_IWRITE);
    if (err != 0)
        errno = err;
    return fd;
}
using ssize_t_ = int;
ssize_t_ writeSome(int fd, const char* data, size_t size) { return _write(fd, data, unsigned(size)); }
int closeFd(int fd) { return _close(fd); }
int truncateTo(int fd, long long size) { return _chsize_s(fd, size); }
long long fileSize(int fd) { return _filelengthi64(fd); }
#else
int openForAppend(const QString& name)
{
    const QByteArray native = QFile::encodeName(name);
    int fd;
    do {
        fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
ssize_t writeSome(int fd, const char* data, size_t size) { return ::write(fd, data, size); }
int closeFd(int fd) { return ::close(fd); }
int truncateTo(int fd, long long size) { return ::ftruncate(fd, off_t(size)); }
long long fileSize(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}
#endif

} // namespace

CaptureWriter::CaptureWriter() : m_encoder(QStringConverter::System) {}

CaptureWriter::~CaptureWriter()
{
    if (m_fd >= 0)
        closeFd(m_fd);
}

void CaptureWriter::Assign(const QString& fileName)
{
    if (fileName.size() > kMaxPathLength)
        throw EInOutError(3);
    m_fileName = fileName;
}

void CaptureWriter::Append()
{
    if (m_fd >= 0) {
        closeFd(m_fd);
        m_fd = -1;
    }
    const int fd = openForAppend(m_fileName);
    if (fd < 0)
        throw EInOutError(WindowsErrorFromErrno(errno));
    m_fd = fd;
}

void CaptureWriter::WriteLine(const QString& text)
{
    if (m_fd < 0)
        throw EInOutError(103);  // file not open
    QByteArray bytes = m_encoder.encode(text + QStringLiteral("\r\n"));
    const long long before = fileSize(m_fd);
    const char* p = bytes.constData();
    size_t left = size_t(bytes.size());
    // A regular file takes the whole line in one write; the loop only covers
    // a write cut short by a signal or a nearly full disk.
    while (left > 0) {
        const auto n = writeSome(m_fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // Never leave half a line behind: readers take the file line by line.
            if (before >= 0 && p != bytes.constData())
                truncateTo(m_fd, before);
            throw EInOutError(WindowsErrorFromErrno(error));
        }
        p += n;
        left -= size_t(n);
    }
}

void CaptureWriter::Close()
{
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    m_fd = -1;
    if (closeFd(fd) != 0 && errno != EINTR)
        throw EInOutError(WindowsErrorFromErrno(errno));
}
