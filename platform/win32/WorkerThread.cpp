// The Windows side of WorkerThread.h: a real thread (CreateThread) whose
// loop takes its real message queue, which exists before CreateThread
// returns, so posts made at once are kept.
#include "WorkerThread.h"

#include "MsgWnd.h"
#include "Win32Api.h"

#include <memory>

namespace {
thread_local CWorkerThread* t_pCurrent = nullptr;
std::function<bool()> g_fnCreateHook;

// What the new thread needs until it has made its queue; on the creator's
// stack, which the creator leaves only once pReady is set.
struct CStartRecord {
    CWorkerThread* pThread;
    CEvent* pReady;
};
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
    CEvent ready(true, false);
    if (!ready.IsValid())
        return FALSE;
    CStartRecord start{this, &ready};
    auto pfnStart = [](void* pArg) -> unsigned long {
        const CStartRecord record = *static_cast<CStartRecord*>(pArg);
        // The queue is made and registered before the creator goes on.
        auto* pQueue = new CMessageQueue;
        record.pThread->m_nThreadID = pQueue->GetThreadId();
        record.pReady->Set();
        ThreadMain(record.pThread, pQueue);
        return 0;
    };
    uint32_t dwId = 0;
    if (!Win32::StartThread(pfnStart, &start, &dwId))
        return FALSE;
    // Handed out from here: once the thread runs, `this` may be deleted.
    ready.Wait(INFINITE);
    dwThreadId = dwId;
    return TRUE;
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
