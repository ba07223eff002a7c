#include "StopCalls.h"

#include <windows.h>

namespace {

void (*g_pfnOnConsoleStop)() = nullptr;

BOOL WINAPI OnConsoleControl(DWORD dwType) {
    if (dwType != CTRL_C_EVENT && dwType != CTRL_BREAK_EVENT && dwType != CTRL_CLOSE_EVENT)
        return FALSE;
    g_pfnOnConsoleStop();
    return TRUE;
}

struct CWatch {
    HANDLE hEvent;
    void (*pfnOnStop)();
};

DWORD WINAPI WatchThread(void* pArg) {
    const CWatch watch = *static_cast<CWatch*>(pArg);
    delete static_cast<CWatch*>(pArg);
    if (WaitForSingleObject(watch.hEvent, INFINITE) == WAIT_OBJECT_0)
        watch.pfnOnStop();
    return 0;
}

} // namespace

namespace StopCalls {

bool WatchEvent(intptr_t nHandle, void (*pfnOnStop)()) {
    auto* pWatch = new CWatch{reinterpret_cast<HANDLE>(nHandle), pfnOnStop};
    const HANDLE hThread = CreateThread(nullptr, 0, WatchThread, pWatch, 0, nullptr);
    if (hThread == nullptr) {
        delete pWatch;
        return false;
    }
    CloseHandle(hThread);
    return true;
}

void CatchConsoleControl(void (*pfnOnStop)()) {
    g_pfnOnConsoleStop = pfnOnStop;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

uint32_t WaitForEither(void* hFirst, void* hSecond, uint32_t dwMilliseconds) {
    const HANDLE handles[2] = {hFirst, hSecond};
    const DWORD dwResult = WaitForMultipleObjects(2, handles, FALSE, dwMilliseconds);
    if (dwResult == WAIT_OBJECT_0 || dwResult == WAIT_OBJECT_0 + 1)
        return dwResult - WAIT_OBJECT_0;
    return dwResult == WAIT_TIMEOUT ? WAIT_TIMEOUT : WAIT_FAILED;
}

} // namespace StopCalls
