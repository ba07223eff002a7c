// The Windows side of WorkerStop.h: the stop comes as the event orvex handed
// the worker (set by CWorkerProcess::Stop), or as a console control for a
// worker run by hand. Waits take the link's event and the stop event in one
// WaitForMultipleObjects.
#include "WorkerStop.h"

#include "StopCalls.h"
#include "WorkerStopWait.h"

void InstallWorkerStop(int nStopEvent) {
    StopCalls::CatchConsoleControl(StopWorker);
    if (nStopEvent != -1)
        StopCalls::WatchEvent(nStopEvent, StopWorker);
}

DWORD WaitForEventOrStop(HEVENT hEvent, const CEvent& stopEvent, DWORD dwWait) {
    const uint32_t nResult =
        StopCalls::WaitForEither(hEvent->GetNative(), stopEvent.GetNative(), dwWait);
    // The link's event was taken by the wait itself.
    if (nResult == 0)
        return WAIT_OBJECT_0;
    return nResult == 1 || nResult == WAIT_TIMEOUT ? WAIT_TIMEOUT : WAIT_FAILED;
}
