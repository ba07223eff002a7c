// One phone's worker: this program run again as "orvex worker", its
// standard output read as JSON lines. The link keeps process-wide events, so
// each phone gets a process of its own. Each platform starts, stops and
// waits for workers its own way (posix/WorkerProcess.cpp: fork, exec, a pipe,
// signals, waitpid; win32/WorkerProcess.cpp: CreateProcess in a job object,
// an inherited pipe read by a thread, an inherited stop event).
#pragma once

#include "StopRequest.h"

#include <memory>
#include <string>
#include <vector>

class CWorkerProcess {
public:
    // args follow the program name; nKeep (the image's descriptor or handle,
    // as CInputImage::Fd gives it), when not -1, is inherited by the worker
    // under its number. Null when no process could be started.
    static std::unique_ptr<CWorkerProcess> Start(const std::vector<std::string>& args,
                                                 int nKeep = -1);
    ~CWorkerProcess(); // kills and reaps a worker that still runs
    CWorkerProcess(const CWorkerProcess&) = delete;
    CWorkerProcess& operator=(const CWorkerProcess&) = delete;

    // Waits until one of workers has written or ended, stop has a request,
    // or nMilliseconds pass; (*pReady)[i] tells whether workers[i] may be
    // read.
    static void WaitAny(const std::vector<CWorkerProcess*>& workers, const CStopRequest& stop,
                        int nMilliseconds, std::vector<bool>* pReady);

    // Takes what the worker has written; complete lines go to *pLines.
    // False once its output has ended.
    bool Read(std::vector<std::string>* pLines);
    // Tells the worker to stop its link through the procedure's failure
    // path (SIGTERM; on Windows its stop event).
    void Stop();
    // Ends it at once (SIGKILL; TerminateProcess).
    void Kill();
    // Reaps the worker once its output has ended; how it ended, for a
    // worker that gave no outcome: " (status N)" or " (signal N)".
    std::string Wait();

    struct CState; // the platform's

private:
    explicit CWorkerProcess(std::unique_ptr<CState> pState);

    std::unique_ptr<CState> m_pState;
    std::string m_strPending; // written, not yet a whole line
};
