#pragma once

#include <QString>

// Kills a capturing window process at random moments and checks that its
// capture file survived whole: no partial line, and a record for every
// period that had ended before the kill.
namespace KillTest {

struct Options {
    QString self;  // this program, started again as the capture child
    QString k4simPath;
    QString directory;  // empty: a temporary folder, kept when something fails
    int rounds = 10;
    quint32 seed = 1;
    int minRunMs = 3000;
    int maxRunMs = 9000;
};

// Exit code 0 when every round's file holds, 1 when one does not, 2 when
// the test could not run.
int run(const Options& options);

}  // namespace KillTest
