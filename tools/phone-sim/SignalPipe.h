#pragma once

#include "Net.h"

#include <string>

namespace phonesim {

// Turns SIGTERM/SIGINT into a readable fd for the poll loop (self-pipe), so
// shutdown happens between events, never inside one. Also ignores SIGPIPE.
class SignalPipe {
public:
    bool install(std::string& error);
    int readFd() const { return readEnd_.get(); }
    // Empties the pipe; returns the last signal number read, or 0.
    int drain();

private:
    Fd readEnd_;
    Fd writeEnd_;
};

} // namespace phonesim
