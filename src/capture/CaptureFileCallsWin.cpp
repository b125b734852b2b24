#include "CaptureFileCallsWin.h"

#include <cerrno>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

HANDLE handleOf(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// Sets errno from the thread's last Windows error and returns -1, the way
// each call reports failure to the writer.
int failWithLastError()
{
    errno = ErrnoFromWin32Error(::GetLastError());
    return -1;
}

class Win32FileCalls final : public CaptureWriter::FileCalls {
public:
    int openForAppend(const QString& name, bool* created) override
    {
        // Others may read the file while it is written, but neither write it
        // nor delete it. OPEN_ALWAYS tells a new file from an existing one in
        // the same call, without a race.
        const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(name.utf16()), GENERIC_WRITE, FILE_SHARE_READ,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return failWithLastError();
        *created = ::GetLastError() != ERROR_ALREADY_EXISTS;
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        if (fd < 0) {
            ::CloseHandle(h);
            errno = EMFILE;
        }
        return fd;
    }

    long long write(int fd, const char* data, std::size_t size) override
    {
        const HANDLE h = handleOf(fd);
        // Nobody else may write the file, so the end found here is the end
        // the line lands on.
        LARGE_INTEGER zero{};
        if (!::SetFilePointerEx(h, zero, nullptr, FILE_END))
            return failWithLastError();
        DWORD written = 0;
        if (!::WriteFile(h, data, DWORD(size), &written, nullptr))
            return failWithLastError();
        return written;
    }

    int syncData(int fd) override { return ::FlushFileBuffers(handleOf(fd)) ? 0 : failWithLastError(); }

    // NTFS journals the new directory entry; flushing the file commits the
    // journal up to it, so there is no separate directory flush to make.
    int syncDirectory(const QString&) override { return 0; }

    int truncate(int fd, long long size) override
    {
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = size;
        if (!::SetFileInformationByHandle(handleOf(fd), FileEndOfFileInfo, &end, sizeof end))
            return failWithLastError();
        return 0;
    }

    long long size(int fd) override
    {
        LARGE_INTEGER s{};
        if (!::GetFileSizeEx(handleOf(fd), &s))
            return failWithLastError();
        return s.QuadPart;
    }

    // Closing the descriptor closes the handle it owns.
    int close(int fd) override { return ::_close(fd); }

    int remove(const QString& name) override
    {
        return ::DeleteFileW(reinterpret_cast<const wchar_t*>(name.utf16())) ? 0 : failWithLastError();
    }

    int sameFile(int fd, const QString& name) override
    {
        BY_HANDLE_FILE_INFORMATION open{};
        if (!::GetFileInformationByHandle(handleOf(fd), &open))
            return failWithLastError();
        // No access asked for: enough to read the identity, and it does not
        // collide with our own sharing mode.
        const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(name.utf16()), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                return 0;
            return failWithLastError();
        }
        BY_HANDLE_FILE_INFORMATION named{};
        const bool ok = ::GetFileInformationByHandle(h, &named);
        const DWORD error = ::GetLastError();
        ::CloseHandle(h);
        if (!ok) {
            errno = ErrnoFromWin32Error(error);
            return -1;
        }
        return named.dwVolumeSerialNumber == open.dwVolumeSerialNumber && named.nFileIndexHigh == open.nFileIndexHigh
               && named.nFileIndexLow == open.nFileIndexLow;
    }
};

}  // namespace

CaptureWriter::FileCalls& Win32CaptureFileCalls()
{
    static Win32FileCalls calls;
    return calls;
}

bool Win32NameRefersToOpenFile(int fd, const QString& name)
{
    return Win32CaptureFileCalls().sameFile(fd, name) == 1;
}

int ErrnoFromWin32Error(unsigned long error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE: return ENOENT;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILE_TOO_LARGE: return EFBIG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return EINVAL;
    case ERROR_IO_DEVICE: return EIO;
    default: return ENXIO;  // the writer reports it as a general failure
    }
}
