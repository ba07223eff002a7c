// The Linux side of StopRequest.h: SIGINT and SIGTERM written to a pipe that
// the poll loop watches beside the workers' pipes.
#include "StopRequest.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_fdSignalWrite = -1;
struct sigaction g_oldInt {};
struct sigaction g_oldTerm {};

void OnSignal(int) {
    const int nSaved = errno;
    const char c = 1;
    ssize_t n = write(g_fdSignalWrite, &c, 1);
    (void)n;
    errno = nSaved;
}

} // namespace

CStopRequest::CStopRequest() {
    if (pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0)
        m_fds[0] = m_fds[1] = -1;
    g_fdSignalWrite = m_fds[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // A write to standard output that the signal interrupts goes on; the
    // poll loop sees the signal through the pipe.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_oldInt);
    sigaction(SIGTERM, &action, &g_oldTerm);
}

CStopRequest::~CStopRequest() {
    sigaction(SIGINT, &g_oldInt, nullptr);
    sigaction(SIGTERM, &g_oldTerm, nullptr);
    g_fdSignalWrite = -1;
    close(m_fds[0]);
    close(m_fds[1]);
}

bool CStopRequest::Take() {
    char buf[16];
    bool bAny = false;
    while (read(m_fds[0], buf, sizeof buf) > 0)
        bAny = true;
    return bAny;
}
