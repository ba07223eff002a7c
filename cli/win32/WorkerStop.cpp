// The Windows side of WorkerStop.h: the stop comes as the event orvex handed
// the worker (set by CWorkerProcess::Stop), or as a console control for a
// worker run by hand. Waits take the link's event and the stop event in one
// WaitForMultipleObjects.
#include "WorkerStop.h"

#include "StopCalls.h"

#include <atomic>
#include <chrono>

namespace {

std::atomic<bool> g_bStopped{false};
// Manual-reset: every later wait ends at once too.
CEvent g_stopEvent(true, false);

void OnStop() {
    g_bStopped = true;
    g_stopEvent.Set();
}

} // namespace

void InstallWorkerStop(int nStopEvent) {
    StopCalls::CatchConsoleControl(OnStop);
    if (nStopEvent != -1)
        StopCalls::WatchEvent(nStopEvent, OnStop);
}

bool IsWorkerStopped() {
    return g_bStopped;
}

void WorkerSleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0)
        return;
    g_stopEvent.Wait(dwMilliseconds);
}

DWORD WorkerWait(HEVENT hEvent, DWORD dwMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;) {
        // An answer that came before the stop is the phone's, and counts.
        if (hEvent->TryAcquire())
            return WAIT_OBJECT_0;
        if (g_bStopped)
            return WAIT_TIMEOUT;
        DWORD dwWait = INFINITE;
        if (dwMilliseconds != INFINITE) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return WAIT_TIMEOUT;
            dwWait = static_cast<DWORD>(left.count());
        }
        const uint32_t nResult =
            StopCalls::WaitForEither(hEvent->GetNative(), g_stopEvent.GetNative(), dwWait);
        // The link's event was taken by the wait itself.
        if (nResult == 0)
            return WAIT_OBJECT_0;
        if (nResult != 1 && nResult != WAIT_TIMEOUT)
            return WAIT_FAILED;
    }
}
