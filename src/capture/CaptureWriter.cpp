#include "CaptureWriter.h"

#include "ProgramErrors.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include "CaptureFileCallsWin.h"
#else
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
int openWith(const QString& name, int flags)
{
    const QByteArray native = QFile::encodeName(name);
    int fd;
    do {
        fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CLOEXEC | flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

class SystemFileCalls final : public CaptureWriter::FileCalls {
public:
    int openForAppend(const QString& name, bool* created) override
    {
        // O_EXCL tells a new file from an existing one without a race: only a
        // new one needs its directory entry synced.
        for (;;) {
            int fd = openWith(name, O_CREAT | O_EXCL);
            if (fd >= 0 || errno != EEXIST) {
                *created = fd >= 0;
                return fd;
            }
            fd = openWith(name, 0);
            if (fd >= 0 || errno != ENOENT) {
                *created = false;
                return fd;
            }
            // Removed between the two opens: try creating it again.
        }
    }
    long long write(int fd, const char* data, std::size_t size) override { return ::write(fd, data, size); }
    int syncData(int fd) override
    {
        int r;
        do {
            r = ::fdatasync(fd);
        } while (r != 0 && errno == EINTR);
        return r;
    }
    int syncDirectory(const QString& directory) override
    {
        const QByteArray native = QFile::encodeName(directory);
        const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return -1;
        int r;
        do {
            r = ::fsync(fd);
        } while (r != 0 && errno == EINTR);
        const int error = errno;
        ::close(fd);
        errno = error;
        // Some file systems cannot sync a directory at all; there is nothing
        // more to be had there, and the capture must not fail for it.
        return r != 0 && error == EINVAL ? 0 : r;
    }
    int truncate(int fd, long long size) override { return ::ftruncate(fd, off_t(size)); }
    long long size(int fd) override
    {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    }
    int close(int fd) override { return ::close(fd); }
    int remove(const QString& name) override { return ::unlink(QFile::encodeName(name).constData()); }
    int sameFile(int fd, const QString& name) override
    {
        struct stat open {};
        struct stat now {};
        if (::fstat(fd, &open) != 0)
            return -1;
        if (::stat(QFile::encodeName(name).constData(), &now) != 0)
            return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
        return open.st_dev == now.st_dev && open.st_ino == now.st_ino;
    }
};
#endif

// Installed on the user-interface thread, used on the capture's writer thread.
std::atomic<CaptureWriter::FileCalls*> g_installed{nullptr};

CaptureWriter::FileCalls& calls()
{
    return CaptureWriter::FileCalls::instance();
}

}  // namespace

CaptureWriter::FileCalls& CaptureWriter::FileCalls::system()
{
#ifdef _WIN32
    return Win32CaptureFileCalls();
#else
    static SystemFileCalls real;
    return real;
#endif
}

CaptureWriter::FileCalls& CaptureWriter::FileCalls::instance()
{
    FileCalls* installed = g_installed.load();
    return installed ? *installed : system();
}

void CaptureWriter::FileCalls::install(FileCalls* installed)
{
    g_installed = installed;
}

CaptureWriter::CaptureWriter() : m_encoder(QStringConverter::System) {}

CaptureWriter::~CaptureWriter()
{
    if (m_fd >= 0) {
        calls().syncData(m_fd);
        calls().close(m_fd);
    }
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
        calls().close(m_fd);
        m_fd = -1;
    }
    m_open = false;
    openFile();
    m_open = true;
}

void CaptureWriter::openFile()
{
    bool created = false;
    const int fd = calls().openForAppend(m_fileName, &created);
    if (fd < 0)
        throw EInOutError(WindowsErrorFromErrno(errno));
    if (created) {
        // A new file is only safe from a power cut once its name is on disk
        // too; a capture that cannot promise that does not begin.
        if (calls().syncData(fd) != 0 || calls().syncDirectory(QFileInfo(m_fileName).absolutePath()) != 0) {
            const int error = errno;
            calls().close(fd);
            calls().remove(m_fileName);
            throw EInOutError(WindowsErrorFromErrno(error));
        }
    }
    m_fd = fd;
}

void CaptureWriter::WriteLines(const QStringList& lines)
{
    if (!m_open)
        throw EInOutError(103);  // file not open
    // A file deleted or renamed away would swallow every later record, one
    // replaced under the name (an editor's save) would hide them: the records
    // go where the name points now.
    if (m_fd >= 0 && calls().sameFile(m_fd, m_fileName) == 0) {
        calls().close(m_fd);
        m_fd = -1;
    }
    if (m_fd < 0)
        openFile();
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    const QByteArray bytes = m_encoder.encode(text);
    const long long before = calls().size(m_fd);
    const char* p = bytes.constData();
    size_t left = size_t(bytes.size());
    // Never leave half a line (or a line reported lost) behind: readers take
    // the file line by line, and the lines are written again on the next try.
    const auto fail = [&](int error, bool wroteSome) {
        if (before >= 0 && wroteSome)
            calls().truncate(m_fd, before);
        calls().close(m_fd);
        m_fd = -1;
        throw EInOutError(WindowsErrorFromErrno(error));
    };
    // A regular file takes the whole text in one write; the loop only covers
    // a write cut short by a signal or a nearly full disk.
    while (left > 0) {
        const auto n = calls().write(m_fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(n < 0 ? errno : ENOSPC, p != bytes.constData());
        p += n;
        left -= size_t(n);
    }
    // The records count as written only once they are on stable storage.
    if (calls().syncData(m_fd) != 0)
        fail(errno, true);
}

void CaptureWriter::Close()
{
    m_open = false;
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    m_fd = -1;
    const int syncError = calls().syncData(fd) != 0 ? errno : 0;
    if (calls().close(fd) != 0 && errno != EINTR)
        throw EInOutError(WindowsErrorFromErrno(errno));
    if (syncError != 0)
        throw EInOutError(WindowsErrorFromErrno(syncError));
}
