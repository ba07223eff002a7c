// The Linux side of MsgWnd.h: a handle in the window registry, whose
// messages come through its thread's queue.
#include "MsgWnd.h"

#include "MessageQueue.h"
#include "WindowRegistry.h"

CMsgWnd::~CMsgWnd() {
    // Too late for WM_DESTROY (the derived part is gone); just retire the handle.
    if (m_hWnd != 0) {
        PlatformWindows::Unregister(m_hWnd);
        m_pQueue->Purge(m_hWnd);
    }
}

BOOL CMsgWnd::Create() {
    if (m_hWnd != 0)
        return FALSE;
    if (!CreateHookAllows())
        return FALSE;
    m_pQueue = CMessageQueue::ForCurrentThread();
    m_hWnd = PlatformWindows::Register(this, m_pQueue);
    if (WindowProc(WM_CREATE, 0, 0) == -1) {
        PlatformWindows::Unregister(m_hWnd);
        m_pQueue->Purge(m_hWnd);
        m_hWnd = 0;
        return FALSE;
    }
    return TRUE;
}

BOOL CMsgWnd::DestroyWindow() {
    if (m_hWnd == 0)
        return FALSE;
    WindowProc(WM_DESTROY, 0, 0);
    const HWND hWnd = m_hWnd;
    PlatformWindows::Unregister(hWnd);
    m_pQueue->Purge(hWnd);
    m_hWnd = 0;
    EndThreadIfMainWnd();
    return TRUE;
}
