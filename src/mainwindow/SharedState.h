#pragma once

#include "CaptureRecorder.h"
#include "IntegrationSums.h"
#include "StepGate.h"

#include <QString>

// The state every handler of the window shares instead of passing arguments.
// One instance per window; everything starts zeroed, false or empty.
// Touched on the user-interface thread only: the link's reader thread hands
// its results over as queued events. The integration sums (AverageCount,
// AverageRunningTotal, Average) come with IntegrationSums.
struct SharedState : IntegrationSums {
    // Flags
    bool bCommandedStatus = false;   // the user has started polling
    bool bConnectionStatus = false;  // the link reports itself connected
    bool bCloseRequest = false;      // shutdown is in progress
    bool FileWrite = false;          // a capture file is open and records are written
    // The steps under way: a poll tick and receive steps hold its tokens.
    StepGate Steps;
    bool polleractive() const { return Steps.pollerActive(); }  // a poll tick is running
    bool AllowStop() const { return Steps.allowStop(); }        // no receive step and no poll tick is half-way

    // Texts
    QString sHost;
    QString sPort;
    QString sRadioResponse;
    QString smRadioResponse;
    QString smhRadioResponse;
    QString sNewSMH;
    QString sDTG;
    QString sFilePath;
    QString sFileName;

    // Numbers
    qint32 iPort = 0;
    qint32 Counter = 0;

    // The capture file; its records are written on a thread of its own.
    CaptureRecorder txt;
};
