// The Windows side of StopRequest.h: a console control handler counts
// Ctrl-C, Ctrl-Break and the console's close and wakes the parent's wait.
#include "StopRequest.h"

#include "ParentWake.h"

#include <atomic>
#include <windows.h>

namespace {

std::atomic<int> g_nRequests{0};

BOOL WINAPI OnConsoleControl(DWORD dwType) {
    switch (dwType) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        ++g_nRequests;
        SetEvent(ParentWakeEvent());
        // A closing console ends the process when the handler returns
        // (and after 5 s in any case): give the workers that time to close
        // their links. The process ends sooner when the run is over.
        if (dwType == CTRL_CLOSE_EVENT)
            Sleep(4500);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

CStopRequest::CStopRequest() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

CStopRequest::~CStopRequest() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

bool CStopRequest::Take() {
    return g_nRequests.exchange(0) > 0;
}
