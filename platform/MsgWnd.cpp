#include "MsgWnd.h"

#include "MessageQueue.h"
#include "WindowRegistry.h"
#include "WorkerThread.h"

#include <mutex>

namespace {
std::mutex g_hookMutex;
std::function<bool()> g_fnCreateHook;
} // namespace

CMsgWnd::~CMsgWnd() {
    // Too late for WM_DESTROY (the derived part is gone); just retire the handle.
    if (m_hWnd != 0) {
        PlatformWindows::Unregister(m_hWnd);
        m_pQueue->Purge(m_hWnd);
    }
}

void CMsgWnd::SetCreateHook(std::function<bool()> fnHook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_fnCreateHook = std::move(fnHook);
}

BOOL CMsgWnd::Create() {
    if (m_hWnd != 0)
        return FALSE;
    std::function<bool()> fnHook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        fnHook = g_fnCreateHook;
    }
    if (fnHook && !fnHook())
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
    CWorkerThread* pThread = CWorkerThread::Current();
    if (pThread != nullptr && pThread->m_pMainWnd == this) {
        pThread->m_pMainWnd = nullptr;
        PostQuitMessage(0);
    }
    return TRUE;
}

LRESULT CMsgWnd::WindowProc(UINT, WPARAM, LPARAM) { return 0; }
