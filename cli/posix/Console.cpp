// The Linux side of Console.h: a terminal draws VT sequences as it is, and
// tells its size through TIOCGWINSZ.
#include "Console.h"

#include <cerrno>
#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>

void PrepareStandardStreams() {}

void KeepRunningWhenReaderGoes() {
    signal(SIGPIPE, SIG_IGN);
}

bool IsTerminal(int fd) {
    return isatty(fd) != 0;
}

bool StartTerminalDisplay(int fd) {
    return IsTerminal(fd);
}

bool TerminalSize(int fd, size_t* pnColumns, size_t* pnRows) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0)
        return false;
    *pnColumns = size.ws_col;
    *pnRows = size.ws_row;
    return true;
}

bool WriteAllTo(int fd, const char* p, size_t n) {
    size_t nDone = 0;
    while (nDone < n) {
        const ssize_t nWritten = write(fd, p + nDone, n - nDone);
        if (nWritten > 0)
            nDone += static_cast<size_t>(nWritten);
        else if (nWritten < 0 && errno != EINTR)
            return false;
    }
    return true;
}
