// The parts of WorkerStop.h both sides share: the stop's flag and event, and
// the waits it cuts short. How the stop is caught and how a wait takes the
// link's event and the stop together is each side's (WorkerStopWait.h).
#include "WorkerStop.h"

#include "WorkerStopWait.h"

#include <atomic>
#include <chrono>

namespace {

std::atomic<bool> g_bStopped{false};
// Manual-reset: every later wait ends at once too.
CEvent g_stopEvent(true, false);

} // namespace

void StopWorker() {
    g_bStopped = true;
    g_stopEvent.Set();
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
        const DWORD dwResult = WaitForEventOrStop(hEvent, g_stopEvent, dwWait);
        if (dwResult == WAIT_OBJECT_0 || dwResult == WAIT_FAILED)
            return dwResult;
    }
}
