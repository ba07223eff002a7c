// A helper process of a test (the phone simulator, a namespace command, the
// program under test): started with its stdout and stderr on one pipe, or on
// two, killed by pid when the object goes.
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class CChildProcess {
public:
    // Null when the process cannot be started. With fdNetns the process runs
    // in that network namespace; fdKeep stays open in it (for a path such as
    // /proc/self/fd/N on its command line).
    static std::unique_ptr<CChildProcess> Start(const std::vector<std::string>& argv,
                                                int fdNetns = -1, int fdKeep = -1);
    // Standard input empty (never a terminal), standard error kept apart from
    // standard output (Errors()).
    static std::unique_ptr<CChildProcess> StartApart(const std::vector<std::string>& argv);
    ~CChildProcess(); // kills (SIGTERM, then SIGKILL) and reaps it
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    // Reads output until it contains text at or after nFrom, or the process
    // ends or nMs pass.
    bool WaitForOutput(const std::string& text, int nMs, size_t nFrom = 0);
    // Everything read so far.
    const std::string& Output() const { return m_strOutput; }
    const std::string& Errors() const { return m_strErrors; }
    // Sends SIGTERM and waits up to nMs (then SIGKILL); the exit status as
    // waitpid gives it, or -1.
    int Stop(int nMs = 3000);
    // Waits up to nMs for the process to end by itself; -1 on time-out.
    int Wait(int nMs);

private:
    CChildProcess(pid_t pid, int fdOut, int fdErr) : m_pid(pid), m_fdOut(fdOut), m_fdErr(fdErr) {}
    static std::unique_ptr<CChildProcess> Spawn(const std::vector<std::string>& argv, int fdNetns,
                                                int fdKeep, bool bApart);
    void ReadAvailable(int nMs);

    pid_t m_pid;
    int m_fdOut;
    int m_fdErr;
    bool m_bReaped = false;
    int m_nStatus = -1;
    std::string m_strOutput;
    std::string m_strErrors;
};
