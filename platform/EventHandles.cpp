// The Win32-style functions over CEvent and the WSABUF release, the same on
// both platforms; only CEvent itself differs (Event.cpp, win32/Event.cpp).
#include "Event.h"

#include "BeforeBlockHook.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<PFN_WSABUF_FREED> g_pfnWsaBufFreed{nullptr};
} // namespace

void SetWsaBufFreedHook(PFN_WSABUF_FREED pfnHook) {
    g_pfnWsaBufFreed = pfnHook;
}

void FreeWsaBuf(WSABUF* pBuf) {
    if (pBuf == nullptr)
        return;
    if (PFN_WSABUF_FREED pfnHook = g_pfnWsaBufFreed.load(std::memory_order_acquire))
        pfnHook(pBuf);
    free(pBuf->buf);
    free(pBuf);
}

HEVENT CreateEventA(bool bManualReset, bool bInitialState) {
    auto* pEvent = new CEvent(bManualReset, bInitialState);
    if (!pEvent->IsValid()) {
        delete pEvent;
        return nullptr;
    }
    return pEvent;
}

BOOL SetEvent(HEVENT hEvent) {
    if (hEvent == nullptr)
        return FALSE;
    hEvent->Set();
    return TRUE;
}

BOOL ResetEvent(HEVENT hEvent) {
    if (hEvent == nullptr)
        return FALSE;
    hEvent->Reset();
    return TRUE;
}

namespace {
// A wait no longer than a display frame goes unseen; only a longer one lets
// the thread's hooks run, so a fast upload still paints once a frame.
constexpr DWORD kUnseenWaitMs = 16;
} // namespace

DWORD WaitForSingleObject(HEVENT hEvent, DWORD dwMilliseconds) {
    if (hEvent == nullptr)
        return WAIT_FAILED;
    if (dwMilliseconds <= kUnseenWaitMs || !CBeforeBlockHook::AnyOnThisThread())
        return hEvent->Wait(dwMilliseconds);
    const DWORD dwResult = hEvent->Wait(kUnseenWaitMs);
    if (dwResult != WAIT_TIMEOUT)
        return dwResult;
    CBeforeBlockHook::RunAll();
    return hEvent->Wait(dwMilliseconds == INFINITE ? INFINITE : dwMilliseconds - kUnseenWaitMs);
}

void CloseHandle(HEVENT hEvent) {
    delete hEvent;
}
