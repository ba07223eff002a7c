// orvex as the tests run it: its own binary, standard input from a text,
// standard output and standard error kept apart in files of the run's own.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class COrvexRun {
public:
    explicit COrvexRun(const std::vector<std::string>& args, const std::string& stdinText = "");
    ~COrvexRun(); // kills a run that is still going
    COrvexRun(const COrvexRun&) = delete;
    COrvexRun& operator=(const COrvexRun&) = delete;

    // The exit status, 128 + the signal for a killed run, -1 if it was still
    // running after nMs and had to be killed.
    int Wait(int nMs = 60000);
    void Signal(int nSignal) const;
    // What it has written so far.
    std::string Stdout() const;
    std::string Stderr() const;
    // Waits until standard output holds text; false when the run ended first.
    bool WaitForStdout(const std::string& text, int nMs = 20000);

    static std::string Binary();

private:
    pid_t m_pid = -1;
    int m_nStatus = -1;
    std::string m_dir;
};

// Runs orvex to its end: {status, stdout, stderr}.
struct COrvexResult {
    int nStatus;
    std::string out;
    std::string err;
};
COrvexResult RunOrvex(const std::vector<std::string>& args, const std::string& stdinText = "");
