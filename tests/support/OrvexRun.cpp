#include "OrvexRun.h"

#include "ChildProcess.h"

#include <sys/wait.h>

int ExitStatus(int nStatus) {
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}

COrvexRun RunToEnd(const std::vector<std::string>& argv, int nMs) {
    auto pRun = CChildProcess::StartApart(argv);
    if (!pRun)
        return {-1, "", "not started"};
    const int nStatus = pRun->Wait(nMs);
    return {ExitStatus(nStatus), pRun->Output(), pRun->Errors()};
}
