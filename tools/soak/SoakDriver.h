#pragma once

#include <QString>

// The parent side: runs the window soak in a child process (so a crash is
// counted, not fatal to the report), samples the child's memory, checks
// every capture file and prints the figures against their targets.
namespace SoakDriver {

struct Options {
    QString self;  // this program, started again as the child
    QString k4simPath;
    QString directory;  // empty: a temporary folder, kept when something fails
    double minutes = 3;
};

// Exit code: 0 when every hard property holds (no crash, no hang, every
// capture file consistent, no fabricated record), 1 otherwise, 2 when the
// soak could not run.
int run(const Options& options);

}  // namespace SoakDriver
