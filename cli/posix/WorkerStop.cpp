// The Linux side of WorkerStop.h: SIGINT and SIGTERM set an eventfd that
// every wait polls beside its own event.
#include "WorkerStop.h"

#include "WorkerStopWait.h"

#include <cerrno>
#include <csignal>
#include <poll.h>

namespace {

void OnStopSignal(int) {
    const int nSaved = errno;
    StopWorker(); // an eventfd write, safe in a signal handler
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

DWORD WaitForEventOrStop(HEVENT hEvent, const CEvent& stopEvent, DWORD dwWait) {
    // poll() takes neither event: the caller looks at both again.
    pollfd fds[2] = {{hEvent->GetNative(), POLLIN, 0}, {stopEvent.GetNative(), POLLIN, 0}};
    if (poll(fds, 2, dwWait == INFINITE ? -1 : static_cast<int>(dwWait)) < 0 && errno != EINTR)
        return WAIT_FAILED;
    return WAIT_TIMEOUT;
}
