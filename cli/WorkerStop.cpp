#include "WorkerStop.h"

#include "Event.h"
#include "LinkEvents.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> g_bStopped{false};
// Manual-reset: every later pause ends at once too.
CEvent g_stopEvent(true, false);

void OnStopSignal(int) {
    g_bStopped = true;
    // Both are eventfd writes, safe in a signal handler. Waking the link's
    // wait lets the procedure reach its next wait, which then times out.
    g_stopEvent.Set();
    if (g_hLinkAckEvent != nullptr)
        g_hLinkAckEvent->Set();
}

} // namespace

void InstallWorkerStop() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
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
