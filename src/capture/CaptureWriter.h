#pragma once

#include <QString>
#include <QStringList>

#include <QStringEncoder>

#include <cstddef>

// The capture file: a write-only text file in the locale's character set,
// CR LF line ends, no byte-order mark. An existing file is appended to, never
// emptied. Records are handed to the operating system whole, in one write,
// and then synced to stable storage before WriteLines returns, so the file on
// disk always ends with a complete line and neither a crash nor a power cut
// loses a record that was reported written. The writer follows its name: a
// file deleted, renamed away or replaced under it gets no more records, the
// name does. File errors throw EInOutError. Not thread-safe: one thread at a
// time (the capture's writer thread once the file is open).
class CaptureWriter {
public:
    // The operating-system calls the writer makes, one virtual each, so a test
    // can fail any of them (or watch their order) and a benchmark can time
    // them. Each returns what the POSIX call would: -1 with errno set on
    // failure. The writer maps errno to the program's error codes.
    class FileCalls {
    public:
        virtual ~FileCalls() = default;
        // Opens name for appending, creating it when missing; *created says
        // whether this call created it.
        virtual int openForAppend(const QString& name, bool* created) = 0;
        virtual long long write(int fd, const char* data, std::size_t size) = 0;
        // Puts the file's data (and the size needed to read it back) on stable
        // storage: fdatasync, FlushFileBuffers on Windows.
        virtual int syncData(int fd) = 0;
        // Puts the directory's entries on stable storage, so a new name survives.
        virtual int syncDirectory(const QString& directory) = 0;
        virtual int truncate(int fd, long long size) = 0;
        virtual long long size(int fd) = 0;
        virtual int close(int fd) = 0;
        virtual int remove(const QString& name) = 0;
        // Whether name still refers to the file open as fd (the same device
        // and inode; the same volume and file index on Windows): 1 when it
        // does, 0 when the name is gone or names another file, -1 with errno
        // set when that cannot be told.
        virtual int sameFile(int fd, const QString& name) = 0;

        // The calls in use: the real ones unless a test or benchmark installed
        // its own (the caller keeps ownership; nullptr restores the real ones).
        static FileCalls& instance();
        static void install(FileCalls* calls);
        static FileCalls& system();
    };

    CaptureWriter();
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Longest full path the writer accepts, in UTF-16 code units.
    static constexpr qsizetype kMaxPathLength = 259;

    // Binds the writer to a file name; over-long names fail with code 3.
    void Assign(const QString& fileName);
    // Opens the bound file for appending, creating it when missing. Others
    // may read it while it is open. A file it creates is synced together with
    // its directory entry; when that fails the new file is removed again.
    void Append();
    // Writes each line followed by CR LF, all in one write, and syncs them to
    // stable storage. When the name no longer refers to the open file, the
    // name is opened again (created when missing) and the lines go there. On
    // failure nothing of the lines stays in the file, and the file is let go:
    // the next call opens the name again, which a file system that failed
    // under it may need.
    void WriteLines(const QStringList& lines);
    void WriteLine(const QString& text) { WriteLines(QStringList{text}); }
    // Syncs and closes the file; closing a closed writer does nothing. The
    // file is closed even when the sync fails, and the failure is thrown.
    void Close();

    // Between Append and Close, also while a failure has let the file go.
    bool IsOpen() const { return m_open; }

private:
    // Opens the bound name for appending; a file it creates is synced with
    // its directory entry, or removed again.
    void openFile();

    QString m_fileName;
    int m_fd = -1;
    bool m_open = false;
    QStringEncoder m_encoder;
};
