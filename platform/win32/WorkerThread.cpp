// The Windows side of starting a CWorkerThread: a real thread (CreateThread)
// whose loop takes its real message queue, which exists before CreateThread
// returns, so posts made at once are kept.
#include "WorkerThread.h"

#include "Win32Api.h"

namespace {
// What the new thread needs until it has made its queue; on the creator's
// stack, which the creator leaves only once pReady is set.
struct CStartRecord {
    CWorkerThread* pThread;
    CEvent* pReady;
};
} // namespace

BOOL CWorkerThread::StartThread(DWORD& dwThreadId) {
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

BOOL SetWorkerThreadPriority(DWORD dwThreadId, int nPriority) {
    return Win32::SetThreadPriority(dwThreadId, nPriority) ? TRUE : FALSE;
}
