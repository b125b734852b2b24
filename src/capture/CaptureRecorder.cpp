#include "CaptureRecorder.h"

#include "CaptureWriter.h"
#include "ErrorText.h"
#include "ProgramErrors.h"

#include <QSet>
#include <QSignalBlocker>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

// What the caller's thread and the writer thread share; the writer thread
// holds it too, so a writer left to finish alone outlives the recorder.
struct CaptureRecorder::Job {
    std::mutex mutex;
    std::condition_variable wake;   // the writer: a record came in, or closing
    std::condition_variable ended;  // Close: the writer is done
    std::deque<QString> waiting;    // not yet on stable storage, oldest first
    qsizetype inFlight = 0;         // the first waiting ones, being written now
    bool retryDue = false;          // a record came in since the last attempt
    bool closing = false;
    bool done = false;
    qint64 dropped = 0;  // not yet reported
    std::optional<int> closeError;
    CaptureRecorder* listener = nullptr;  // nobody once the writer goes on alone
    CaptureWriter writer;                 // the writer thread's alone once it runs
    std::thread thread;

    // Queues a text for the listener's thread; called with the mutex held, so
    // the listener cannot go away meanwhile.
    void tell(void (CaptureRecorder::*signal)(const QString&), const QString& text)
    {
        if (!listener)
            return;
        CaptureRecorder* to = listener;
        QMetaObject::invokeMethod(
            to, [to, signal, text] { emit(to->*signal)(text); }, Qt::QueuedConnection);
    }
};

CaptureRecorder::CaptureRecorder(QObject* parent) : QObject(parent) {}

CaptureRecorder::~CaptureRecorder()
{
    // The owner is going away: nothing more is reported to it.
    const QSignalBlocker quiet(this);
    try {
        Close();
    } catch (const std::exception&) {
        // Every record that reached the file is whole; nothing more to do here.
    }
}

QString CaptureRecorder::DroppedRecordsText(qint64 count)
{
    return QStringLiteral("%1 capture records could not be written to the disk and were dropped.").arg(count);
}

QString CaptureRecorder::StillWritingText()
{
    return QStringLiteral("The disk has not answered for %1 s: the capture's last records are written when it does.")
        .arg(std::chrono::duration_cast<std::chrono::seconds>(kCloseWait).count());
}

void CaptureRecorder::Assign(const QString& fileName)
{
    if (fileName.size() > CaptureWriter::kMaxPathLength)
        throw EInOutError(3);
    m_fileName = fileName;
}

void CaptureRecorder::Append()
{
    Close();
    auto job = std::make_shared<Job>();
    job->writer.Assign(m_fileName);
    job->writer.Append();
    job->listener = this;
    job->thread = std::thread(&CaptureRecorder::run, job);
    m_job = std::move(job);
}

void CaptureRecorder::WriteLine(const QString& line)
{
    if (!m_job)
        throw EInOutError(103);  // file not open
    Job& job = *m_job;
    {
        const std::lock_guard lock(job.mutex);
        if (qsizetype(job.waiting.size()) >= kMaxWaitingRecords) {
            // The oldest record not being written makes room; when every
            // waiting record is being written, the new one has no room.
            ++job.dropped;
            if (qsizetype(job.waiting.size()) <= job.inFlight)
                return;
            job.waiting.erase(job.waiting.begin() + job.inFlight);
        }
        job.waiting.push_back(line);
        job.retryDue = true;
    }
    job.wake.notify_one();
}

void CaptureRecorder::Retry()
{
    if (!m_job)
        return;
    {
        const std::lock_guard lock(m_job->mutex);
        if (m_job->waiting.empty())
            return;
        m_job->retryDue = true;
    }
    m_job->wake.notify_one();
}

void CaptureRecorder::Close()
{
    if (!m_job)
        return;
    const std::shared_ptr<Job> job = std::move(m_job);
    std::unique_lock lock(job->mutex);
    job->closing = true;
    job->wake.notify_one();
    if (!job->ended.wait_for(lock, kCloseWait, [&] { return job->done; })) {
        // A disk that hangs must not freeze the caller: the writer finishes
        // on its own, keeping the job alive, and reports to nobody.
        job->listener = nullptr;
        lock.unlock();
        job->thread.detach();
        emit writeFailed(StillWritingText());
        return;
    }
    const qint64 dropped = job->dropped;
    const std::optional<int> closeError = job->closeError;
    lock.unlock();
    job->thread.join();
    if (dropped > 0)
        emit writeFailed(DroppedRecordsText(dropped));
    if (closeError)
        throw EInOutError(*closeError);
}

void CaptureRecorder::run(std::shared_ptr<Job> job)
{
    // The failures already reported since a record last reached the disk: a
    // fault that lasts is told once, not at every period.
    QSet<QString> reported;
    std::unique_lock lock(job->mutex);
    for (;;) {
        job->wake.wait(lock, [&] { return job->closing || (job->retryDue && !job->waiting.empty()); });
        if (job->waiting.empty())
            break;  // closing, and everything is on disk
        // Every waiting record, oldest first, in one write.
        QStringList lines;
        lines.reserve(qsizetype(job->waiting.size()));
        for (const QString& line : job->waiting)
            lines.append(line);
        job->inFlight = lines.size();
        job->retryDue = false;
        const bool finalTry = job->closing;
        lock.unlock();
        std::optional<QString> failure;
        try {
            job->writer.WriteLines(lines);
        } catch (const std::exception& error) {
            failure = StandardErrorText(error);
        }
        lock.lock();
        job->inFlight = 0;
        if (!failure) {
            job->waiting.erase(job->waiting.begin(), job->waiting.begin() + lines.size());
            reported.clear();
            job->tell(&CaptureRecorder::recordWritten, lines.last());
            if (job->dropped > 0) {
                job->tell(&CaptureRecorder::writeFailed, DroppedRecordsText(job->dropped));
                job->dropped = 0;
            }
            continue;
        }
        if (!reported.contains(*failure)) {
            reported.insert(*failure);
            job->tell(&CaptureRecorder::writeFailed, *failure);
        }
        if (finalTry)
            break;
    }
    // What is still waiting now could not be written before the close.
    job->dropped += qint64(job->waiting.size());
    job->waiting.clear();
    lock.unlock();
    std::optional<int> closeError;
    try {
        job->writer.Close();
    } catch (const EInOutError& error) {
        closeError = error.ErrorCode;
    }
    lock.lock();
    job->closeError = closeError;
    job->done = true;
    job->ended.notify_all();
}
