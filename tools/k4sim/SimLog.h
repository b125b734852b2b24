// Diagnostics of the simulator go to stderr, one line each; stdout carries
// only the "listening" line that scripts and tests wait for.
#pragma once

#include <string>

namespace k4sim {

void logLine(const std::string& line);
// Printable form of raw bytes: ASCII as is, everything else as \xNN.
std::string describeBytes(const std::string& bytes, std::size_t limit = 200);

}  // namespace k4sim
