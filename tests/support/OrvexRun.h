// Running orvex, or a shell around it, to its end as the command-line suites
// do: its exit status and what it wrote.
#pragma once

#include <string>
#include <vector>

struct COrvexRun {
    int nStatus; // exit status; 128 + the signal for a killed run
    std::string out;
    std::string err;
};

// A wait status as a shell reports it: the exit code, or 128 + the signal.
int ExitStatus(int nStatus);

// argv with standard input empty and standard error apart; waits up to nMs.
// nStatus -1 and err "not started" when it could not be started.
COrvexRun RunToEnd(const std::vector<std::string>& argv, int nMs = 60000);
