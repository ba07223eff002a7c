// The Windows side of Console.h: a console draws in place once it takes
// virtual-terminal sequences (ENABLE_VIRTUAL_TERMINAL_PROCESSING), and tells
// its size through GetConsoleScreenBufferInfo. Output goes to the handle
// behind the descriptor with WriteFile.
#include "Console.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// What StartTerminalDisplay changed, given back when orvex ends: the
// console belongs to the shell too.
HANDLE g_hChanged = INVALID_HANDLE_VALUE;
DWORD g_dwOldMode = 0;
UINT g_nOldCodePage = 0;

void RestoreConsole() {
    if (g_hChanged == INVALID_HANDLE_VALUE)
        return;
    SetConsoleMode(g_hChanged, g_dwOldMode);
    if (g_nOldCodePage != 0)
        SetConsoleOutputCP(g_nOldCodePage);
    g_hChanged = INVALID_HANDLE_VALUE;
}

} // namespace

void PrepareStandardStreams() {
    // Standard input too: a list given on it reads as on Linux, and a
    // Ctrl-Z in it is a byte, not its end.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void KeepRunningWhenReaderGoes() {
    // Windows has no SIGPIPE: a write to a pipe without a reader fails
    // with ERROR_NO_DATA or ERROR_BROKEN_PIPE, which WriteAllTo reports.
}

bool IsTerminal(int fd) {
    DWORD dwMode = 0;
    return GetConsoleMode(HandleOf(fd), &dwMode) != 0;
}

bool StartTerminalDisplay(int fd) {
    const HANDLE hConsole = HandleOf(fd);
    DWORD dwMode = 0;
    if (!GetConsoleMode(hConsole, &dwMode))
        return false;
    if (!(dwMode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
        !SetConsoleMode(hConsole, dwMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return false; // a console before Windows 10: plain lines
    if (g_hChanged == INVALID_HANDLE_VALUE) {
        g_hChanged = hConsole;
        g_dwOldMode = dwMode;
        // The display's bars and cut lines are UTF-8 ("…").
        g_nOldCodePage = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
        atexit(RestoreConsole);
    }
    return true;
}

bool TerminalSize(int fd, size_t* pnColumns, size_t* pnRows) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(HandleOf(fd), &info))
        return false;
    // The window, not the buffer: the buffer holds the history too.
    const int nColumns = info.srWindow.Right - info.srWindow.Left + 1;
    const int nRows = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (nColumns <= 0 || nRows <= 0)
        return false;
    *pnColumns = static_cast<size_t>(nColumns);
    *pnRows = static_cast<size_t>(nRows);
    return true;
}

bool WriteAllTo(int fd, const char* p, size_t n) {
    const HANDLE hOut = HandleOf(fd);
    if (hOut == INVALID_HANDLE_VALUE)
        return false;
    while (n > 0) {
        const DWORD nWant = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        DWORD nWritten = 0;
        // A pipe whose reader has gone: ERROR_NO_DATA or ERROR_BROKEN_PIPE.
        if (!WriteFile(hOut, p, nWant, &nWritten, nullptr) || nWritten == 0)
            return false;
        p += nWritten;
        n -= nWritten;
    }
    return true;
}
