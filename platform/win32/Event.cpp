// The Windows side of Event.h: each CEvent is a real unnamed event object,
// so Win32 gives the semantics the header promises by itself.
#include "Event.h"

#include "BeforeBlockHook.h"
#include "Win32Api.h"

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

CEvent::CEvent(bool bManualReset, bool bInitialState)
    : m_hNative(Win32::NewEvent(bManualReset, bInitialState)), m_bManualReset(bManualReset) {}

CEvent::~CEvent() {
    if (m_hNative != kNoNativeEvent)
        Win32::CloseHandle(m_hNative);
}

void CEvent::Set() {
    Win32::SetEvent(m_hNative);
}

void CEvent::Reset() {
    Win32::ResetEvent(m_hNative);
}

bool CEvent::TryAcquire() {
    return Win32::WaitForSingleObject(m_hNative, 0) == WAIT_OBJECT_0;
}

// The wait that reported an auto-reset event has already taken its signal.
bool CEvent::AcquireReady() {
    return true;
}

DWORD CEvent::Wait(DWORD dwMilliseconds) {
    if (m_hNative == kNoNativeEvent)
        return WAIT_FAILED;
    return Win32::WaitForSingleObject(m_hNative, dwMilliseconds);
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
// As on Linux: a wait no longer than a display frame goes unseen; a longer
// one lets the thread's hooks paint first.
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
