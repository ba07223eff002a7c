// What CWorkerThread does the same on both platforms: the create hook, the
// message loop and the thread's end. Starting the thread differs
// (WorkerThread.cpp, win32/WorkerThread.cpp).
#include "WorkerThread.h"

#include "MsgWnd.h"

#include <memory>

namespace {
thread_local CWorkerThread* t_pCurrent = nullptr;
std::function<bool()> g_fnCreateHook;
} // namespace

CWorkerThread::~CWorkerThread() = default;

void CWorkerThread::SetCreateHook(std::function<bool()> fnHook) {
    g_fnCreateHook = std::move(fnHook);
}

CWorkerThread* CWorkerThread::Current() {
    return t_pCurrent;
}

BOOL CWorkerThread::CreateThread(DWORD* pdwThreadId) {
    DWORD dwUnused = 0;
    DWORD& dwThreadId = pdwThreadId != nullptr ? *pdwThreadId : dwUnused;
    dwThreadId = 0;
    if (g_fnCreateHook && !g_fnCreateHook())
        return FALSE;
    return StartThread(dwThreadId);
}

bool CWorkerThread::OnThreadMessage(const MSG&) {
    return false;
}

void CWorkerThread::Run(CMessageQueue* pQueue) {
    if (InitInstance()) {
        MSG msg;
        while (pQueue->Get(&msg, INFINITE)) {
            if (msg.hwnd == 0 && msg.message == WM_QUIT)
                break;
            if (msg.hwnd != 0)
                DispatchMessage(msg);
            else if (!OnThreadMessage(msg))
                ReleaseMessage(msg);
        }
    }
    ExitInstance();
}

void CWorkerThread::ThreadMain(CWorkerThread* pThread, CMessageQueue* pQueue) {
    std::unique_ptr<CMessageQueue> pOwnedQueue(pQueue);
    CMessageQueue::AdoptForCurrentThread(pQueue);
    t_pCurrent = pThread;
    pThread->Run(pQueue);
    t_pCurrent = nullptr;
    HEVENT hSignal = pThread->m_hSignalAfterDelete;
    delete pThread;
    // Retire the queue before the signal: a post after it fails cleanly.
    pOwnedQueue.reset();
    CMessageQueue::AdoptForCurrentThread(nullptr);
    if (hSignal != nullptr)
        SetEvent(hSignal);
}
