#include "SignalPipe.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace phonesim {
namespace {

int signalWriteFd = -1;

void onSignal(int number)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(number);
    // A full pipe already holds a wake-up; losing this byte is harmless.
    [[maybe_unused]] const ssize_t ignored = ::write(signalWriteFd, &byte, 1);
    errno = savedErrno;
}

} // namespace

bool SignalPipe::install(std::string& error)
{
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = "pipe2: " + errnoText(errno);
        return false;
    }
    readEnd_.reset(ends[0]);
    writeEnd_.reset(ends[1]);
    signalWriteFd = ends[1];

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    if (::sigaction(SIGTERM, &action, nullptr) != 0 || ::sigaction(SIGINT, &action, nullptr) != 0
        || ::sigaction(SIGPIPE, &ignore, nullptr) != 0) {
        error = "sigaction: " + errnoText(errno);
        return false;
    }
    return true;
}

int SignalPipe::drain()
{
    int last = 0;
    unsigned char buffer[32];
    ssize_t got;
    while ((got = ::read(readEnd_.get(), buffer, sizeof buffer)) > 0)
        last = buffer[got - 1];
    return last;
}

} // namespace phonesim
