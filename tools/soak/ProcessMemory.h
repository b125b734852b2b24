#pragma once

#include <QtGlobal>

#include <optional>

// Resident memory of a process, read from the operating system. Linux reads
// /proc/<pid>/status; other systems report nothing yet.
struct ProcessMemory {
    qint64 rssKiB = 0;  // VmRSS: resident now
    qint64 hwmKiB = 0;  // VmHWM: highest resident size so far

    // Nothing when the process is gone or the system offers no such figures.
    static std::optional<ProcessMemory> of(qint64 pid);
};
