// The Windows side of Event.h: each CEvent is a real unnamed event object,
// so Win32 gives the semantics the header promises by itself.
#include "Event.h"

#include "Win32Api.h"

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
