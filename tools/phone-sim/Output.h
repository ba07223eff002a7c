#pragma once

#include <string>

namespace phonesim::out {

void setVerbose(bool on);

// One "phone-sim: ..." line on stdout, flushed at once: tests and scripts
// wait for these lines through a pipe.
void status(const std::string& text);

// A problem that does not stop the simulator, on stderr.
void warn(const std::string& text);

// Per-connection and per-datagram detail on stderr, only with --verbose.
void debug(const std::string& text);

} // namespace phonesim::out
