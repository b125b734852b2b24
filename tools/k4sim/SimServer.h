// The simulator's single-threaded event loop: one listening socket, a few
// clients at a time, every wait a poll with a time limit or none when idle.
#pragma once

#include "SimOptions.h"

namespace k4sim {

// Listens, prints the listening line, serves until SIGINT/SIGTERM or the
// optional time limit. Returns the process exit code.
int runServer(const SimOptions& options);

}  // namespace k4sim
