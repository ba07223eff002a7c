// One phone's worker: this program run again as "orvex worker", its
// standard output read as JSON lines. The link keeps process-wide events, so
// each phone gets a process of its own.
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class CWorkerProcess {
public:
    // args follow the program name; fdKeep, when not -1, stays open in the
    // worker under its number. Null when no process could be started.
    static std::unique_ptr<CWorkerProcess> Start(const std::vector<std::string>& args,
                                                 int fdKeep = -1);
    ~CWorkerProcess(); // kills and reaps a worker that still runs
    CWorkerProcess(const CWorkerProcess&) = delete;
    CWorkerProcess& operator=(const CWorkerProcess&) = delete;

    int Fd() const { return m_fd; }
    // Takes what the worker has written; complete lines go to *pLines.
    // False once its output has ended.
    bool Read(std::vector<std::string>* pLines);
    void Signal(int nSignal) const;
    // Reaps the worker; its status as waitpid gives it.
    int Wait();

private:
    CWorkerProcess(pid_t pid, int fd) : m_pid(pid), m_fd(fd) {}

    pid_t m_pid;
    int m_fd;
    bool m_bReaped = false;
    int m_nStatus = 0;
    std::string m_strPending;
};
