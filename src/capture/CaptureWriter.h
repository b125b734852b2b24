#pragma once

#include <QString>

#include <QStringEncoder>

// The capture file: a write-only text file in the locale's character set,
// CR LF line ends, no byte-order mark. An existing file is appended to, never
// emptied. Each record is handed to the operating system whole, in one write,
// so the file on disk always ends with a complete line and a crash loses
// nothing that was recorded. File errors throw EInOutError.
class CaptureWriter {
public:
    CaptureWriter();
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Longest full path the writer accepts, in UTF-16 code units.
    static constexpr qsizetype kMaxPathLength = 259;

    // Binds the writer to a file name; over-long names fail with code 3.
    void Assign(const QString& fileName);
    // Opens the bound file for appending, creating it when missing. Others
    // may read it while it is open.
    void Append();
    // Writes text followed by CR LF as one write. On failure nothing of the
    // line stays in the file.
    void WriteLine(const QString& text);
    // Closes the file; closing a closed writer does nothing.
    void Close();

    bool IsOpen() const { return m_fd >= 0; }

private:
    QString m_fileName;
    int m_fd = -1;
    QStringEncoder m_encoder;
};
