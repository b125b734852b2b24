#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

// The capture file as the window uses it. Records are handed over at once and
// written and synced on a writer thread of the capture's own, one after the
// other, so a slow or failing disk never holds up the caller's thread. A
// record that cannot reach the disk waits in memory, in order, with any others
// (up to kMaxWaitingRecords; beyond that the oldest are dropped), and the
// writer tries again with each new record, the waiting ones first, opening the
// file again where the failure needs it. The caller hears of each record that
// reached the disk and of each failure through queued signals.
class CaptureRecorder : public QObject {
    Q_OBJECT
public:
    // A week of records at the shortest period, 2 s.
    static constexpr qsizetype kMaxWaitingRecords = 7 * 24 * 3600 / 2;
    // How long Close waits for the writer before letting it finish alone.
    static constexpr std::chrono::milliseconds kCloseWait{3000};

    explicit CaptureRecorder(QObject* parent = nullptr);
    // Closes an open capture as Close does, without reporting anything.
    ~CaptureRecorder() override;
    CaptureRecorder(const CaptureRecorder&) = delete;
    CaptureRecorder& operator=(const CaptureRecorder&) = delete;

    // Binds the recorder to a file name; over-long names fail with code 3.
    void Assign(const QString& fileName);
    // Opens the bound file for appending, creating it (with its directory
    // entry synced) when missing, on the calling thread, so a capture that
    // cannot begin throws EInOutError here. An open capture is closed first.
    void Append();
    // Hands one record line (without its line end) to the writer. Throws
    // EInOutError 103 when no capture is open.
    void WriteLine(const QString& line);
    // Has the writer try the waiting records again, as a new record would:
    // for a period that brings no record of its own.
    void Retry();
    // Ends the capture: the writer writes the waiting records, then closes
    // the file. Waits for that at most kCloseWait; a writer still held up by
    // the disk then finishes on its own, and writeFailed says so. Records
    // that could not be written are reported through writeFailed; a failure
    // of the final sync or close is thrown as EInOutError. Closing a closed
    // recorder does nothing.
    void Close();

    bool IsOpen() const { return m_job != nullptr; }

    // The texts writeFailed gives beyond the file errors themselves.
    static QString DroppedRecordsText(qint64 count);
    static QString StillWritingText();

signals:
    // The last of the records that have just reached stable storage.
    void recordWritten(const QString& line);
    // A text for the user: a file error (once per text until a record
    // reaches the disk again), records dropped, a close that did not finish.
    void writeFailed(const QString& text);

private:
    struct Job;
    static void run(std::shared_ptr<Job> job);

    QString m_fileName;
    std::shared_ptr<Job> m_job;
};
