// The Linux side of starting a CWorkerThread: a detached std::thread.
#include "WorkerThread.h"

#include <memory>
#include <thread>

BOOL CWorkerThread::StartThread(DWORD& dwThreadId) {
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

BOOL SetWorkerThreadPriority(DWORD, int) {
    return FALSE;
}
