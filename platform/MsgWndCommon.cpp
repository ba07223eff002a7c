// What CMsgWnd does the same on both platforms; the window itself differs
// (MsgWnd.cpp, win32/MsgWnd.cpp).
#include "MsgWnd.h"

#include "MessageQueue.h"
#include "WorkerThread.h"

#include <mutex>

namespace {
std::mutex g_hookMutex;
std::function<bool()> g_fnCreateHook;
} // namespace

void CMsgWnd::SetCreateHook(std::function<bool()> fnHook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_fnCreateHook = std::move(fnHook);
}

bool CMsgWnd::CreateHookAllows() {
    std::function<bool()> fnHook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        fnHook = g_fnCreateHook;
    }
    return !fnHook || fnHook();
}

void CMsgWnd::EndThreadIfMainWnd() {
    CWorkerThread* pThread = CWorkerThread::Current();
    if (pThread != nullptr && pThread->m_pMainWnd == this) {
        pThread->m_pMainWnd = nullptr;
        PostQuitMessage(0);
    }
}

LRESULT CMsgWnd::WindowProc(UINT, WPARAM, LPARAM) {
    return 0;
}
