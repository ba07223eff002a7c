#include "WorkerThread.h"

#include "MsgWnd.h"

#include <memory>
#include <thread>

namespace {
thread_local CWorkerThread* t_pCurrent = nullptr;
std::function<bool()> g_fnCreateHook;
} // namespace

CWorkerThread::~CWorkerThread() = default;

void CWorkerThread::SetCreateHook(std::function<bool()> fnHook) { g_fnCreateHook = std::move(fnHook); }

CWorkerThread* CWorkerThread::Current() { return t_pCurrent; }

BOOL CWorkerThread::CreateThread(DWORD* pdwThreadId) {
    DWORD dwUnused = 0;
    DWORD& dwThreadId = pdwThreadId != nullptr ? *pdwThreadId : dwUnused;
    dwThreadId = 0;
    if (g_fnCreateHook && !g_fnCreateHook())
        return FALSE;
    // The queue is registered before the thread runs, so nothing posted in
    // the meantime is lost.
    auto pQueue = std::make_unique<CMessageQueue>();
    m_nThreadID = pQueue->GetThreadId();
    // Handed out now: once the thread runs, `this` may be deleted under us.
    dwThreadId = m_nThreadID;
    try {
        std::thread(ThreadMain, this, pQueue.get()).detach();
    } catch (const std::system_error&) {
        m_nThreadID = 0;
        dwThreadId = 0;
        return FALSE;
    }
    pQueue.release();
    return TRUE;
}

bool CWorkerThread::OnThreadMessage(const MSG&) { return false; }

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
