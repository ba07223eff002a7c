// The Linux side of WorkerStop.h: SIGINT and SIGTERM set an eventfd that
// every wait polls beside its own event.
#include "WorkerStop.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>

namespace {

std::atomic<bool> g_bStopped{false};
// Manual-reset: every later wait ends at once too.
CEvent g_stopEvent(true, false);

void OnStopSignal(int) {
    const int nSaved = errno;
    g_bStopped = true;
    g_stopEvent.Set(); // an eventfd write, safe in a signal handler
    errno = nSaved;
}

} // namespace

void InstallWorkerStop(int) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // A write to the parent that the signal interrupts goes on.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
        int nWait = -1;
        if (dwMilliseconds != INFINITE) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return WAIT_TIMEOUT;
            nWait = static_cast<int>(left.count());
        }
        pollfd fds[2] = {{hEvent->GetNative(), POLLIN, 0}, {g_stopEvent.GetNative(), POLLIN, 0}};
        if (poll(fds, 2, nWait) < 0 && errno != EINTR)
            return WAIT_FAILED;
    }
}
