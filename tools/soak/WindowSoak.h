#pragma once

#include <QString>

// The child side of the soak: the real main window in this process, driven
// through its widgets like a user, against the radio simulator on loopback.
// Both modes report their events through SoakProtocol lines on stdout.
namespace WindowSoak {

struct Options {
    QString k4simPath;
    QString directory;          // working directory: capture files land here
    int phaseSeconds = 15;      // length of each phase
    int fromPhase = 0;          // first phase to run (after a crash, the driver resumes)
    quint16 port = 0;           // capture child: the simulator to poll
    QString suffix;             // capture child: capture file suffix
    int lifetimeSeconds = 120;  // capture child: gives up if nobody kills it
};

// Runs the phases from fromPhase on; returns 0, or 3 when the soak itself
// could not go on (simulator missing, window not activated).
int runSoak(const Options& options);

// Starts polling and a 2-second capture, reports "CAPTURE <ms> <file>" and
// keeps running until killed (or lifetimeSeconds pass: exit code 4).
int runCaptureChild(const Options& options);

}  // namespace WindowSoak
