// The Windows side of MsgWnd.h: each CMsgWnd is a real hidden top-level
// window on the thread that creates it. Its procedure hands WM_CREATE,
// WM_DESTROY and the private messages to WindowProc and leaves the rest of
// what Windows sends a window to DefWindowProc.
#include "MsgWnd.h"

#include "MessageQueue.h"
#include "SinkTable.h"
#include "Win32Api.h"

namespace {

constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT kLastPrivateMessage = 0xBFFF; // WM_USER up to the end of WM_APP

// The window whose WM_CREATE failed: Windows destroys it before
// CreateWindowEx returns, and that WM_DESTROY is not its owner's concern.
thread_local HWND t_hFailedCreate = 0;

} // namespace

CMsgWnd::~CMsgWnd() {
    // Too late for WM_DESTROY (the derived part is gone): retire the handle
    // first, so the procedure passes nothing on, then let the window go.
    if (m_hWnd != 0) {
        const HWND hWnd = m_hWnd;
        m_hWnd = 0;
        Win32Sinks::RemoveWindow(hWnd);
        Win32::DestroyWindow(hWnd);
    }
}

BOOL CMsgWnd::Create() {
    if (m_hWnd != 0)
        return FALSE;
    if (!CreateHookAllows())
        return FALSE;
    m_pQueue = CMessageQueue::ForCurrentThread();
    // Defined here for access to the members: the handle must be known
    // before WM_CREATE, whose handler may hand it out (to a connect).
    Win32::SinkProc pfnProc = [](void* pOwner, uintptr_t hWnd, unsigned message, uintptr_t wParam,
                                 intptr_t lParam, bool* pbHandled) -> intptr_t {
        auto* pWnd = static_cast<CMsgWnd*>(pOwner);
        if (message == WM_NCCREATE) {
            pWnd->m_hWnd = hWnd;
            Win32Sinks::AddWindow(hWnd, pWnd);
            return 0; // DefWindowProc goes on with the creation
        }
        if (message == WM_NCDESTROY) {
            Win32Sinks::RemoveWindow(hWnd);
            if (pWnd->m_hWnd == hWnd)
                pWnd->m_hWnd = 0;
            return 0;
        }
        // Retired by the destructor, or not ours yet: the system's defaults.
        if (Win32Sinks::FindWindow(hWnd) != pWnd)
            return 0;
        if (message == WM_CREATE) {
            *pbHandled = true;
            if (pWnd->WindowProc(WM_CREATE, 0, 0) != -1)
                return 0;
            t_hFailedCreate = hWnd;
            return -1;
        }
        if (message == WM_DESTROY) {
            *pbHandled = true;
            if (hWnd != t_hFailedCreate)
                pWnd->WindowProc(WM_DESTROY, 0, 0);
            return 0;
        }
        if (message == Win32Sinks::kWmEnvelope) {
            // Dispatched by a loop of the system's (a message box, a dialog).
            *pbHandled = true;
            MSG msg;
            if (Win32Sinks::TakeEnvelope(lParam, &msg))
                pWnd->WindowProc(msg.message, msg.wParam, msg.lParam);
            return 0;
        }
        if (message >= WM_USER && message <= kLastPrivateMessage) {
            *pbHandled = true;
            return pWnd->WindowProc(message, wParam, lParam);
        }
        return 0;
    };
    const HWND hWnd = Win32::CreateSinkWindow(this, pfnProc);
    if (hWnd == 0 || hWnd == t_hFailedCreate) {
        t_hFailedCreate = 0;
        m_hWnd = 0;
        return FALSE;
    }
    return TRUE;
}

BOOL CMsgWnd::DestroyWindow() {
    if (m_hWnd == 0)
        return FALSE;
    // WM_DESTROY reaches WindowProc inside; WM_NCDESTROY retires the handle
    // and releases the payloads still queued for it.
    Win32::DestroyWindow(m_hWnd);
    m_hWnd = 0;
    EndThreadIfMainWnd();
    return TRUE;
}
