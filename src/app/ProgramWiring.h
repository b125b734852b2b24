#pragma once

class KeepAwake;
class QApplication;
class SessionEndWatcher;
class Tfrm_framework;

// Connects the window to the ways the program can end: its shutdown sequence
// ends the event loop; a log-off or system shutdown asks first; the capture
// file is closed when the program really ends (the event loop ending for any
// reason, SIGTERM, SIGINT or SIGHUP), never at a mere request to save.
void ConnectProgramEnd(QApplication& app, Tfrm_framework& window, SessionEndWatcher& sessionEnd);

// A session manager's request to save, as far as the program answers it.
class SessionCommit {
public:
    virtual ~SessionCommit() = default;
    virtual bool allowsInteraction() = 0;
    virtual void release() = 0;
    virtual void cancel() = 0;
};

// Answers a request to save before a log-off, a system shutdown or a mere
// checkpoint: asks the user when the session manager allows it and cancels
// the log-off on No. The capture stays open: a checkpoint or a log-off that
// is cancelled later leaves the program running, and it must go on recording.
void CommitSessionData(Tfrm_framework& window, SessionCommit& commit);

// Keeps the computer awake while polling is wanted: from Start Poller to Stop
// Poller or the program's end, retries included.
void ConnectKeepAwake(Tfrm_framework& window, KeepAwake& keepAwake);
