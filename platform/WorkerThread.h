// A worker thread with its own message loop and thread-message map, deleting
// itself when the loop ends (the counterpart of a user-interface CWinThread).
#pragma once

#include "Event.h"
#include "MessageQueue.h"

#include <functional>

class CMsgWnd;

// THREAD_PRIORITY_HIGHEST, the highest of the normal priorities.
constexpr int kThreadPriorityHighest = 2;
// Sets the priority of the thread with this id (SetThreadPriority). Linux
// offers an unprivileged process no way up, so there it changes nothing and
// returns FALSE; so does an id whose thread has ended.
BOOL SetWorkerThreadPriority(DWORD dwThreadId, int nPriority);

class CWorkerThread {
public:
    CWorkerThread() = default;
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts the thread; its queue exists on return, so messages may be
    // posted at once. The id goes to *pdwThreadId, when given, before the
    // thread runs: a worker whose InitInstance fails deletes itself at once,
    // so the object may be gone by the time this returns. FALSE (id 0) when
    // no thread could be started: the object was not handed to a thread and
    // the caller still owns it.
    BOOL CreateThread(DWORD* pdwThreadId = nullptr);

    // Test seam: a hook that returns false makes CreateThread fail.
    static void SetCreateHook(std::function<bool()> fnHook);
    // The worker whose thread is calling, or null.
    static CWorkerThread* Current();

    DWORD m_nThreadID = 0;
    // Destroying this window ends the message loop.
    CMsgWnd* m_pMainWnd = nullptr;

protected:
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    // The thread-message map; true when the message was handled.
    virtual bool OnThreadMessage(const MSG& msg);

    // Signalled once the object is deleted, as the thread's last act.
    HEVENT m_hSignalAfterDelete = nullptr;

private:
    // Each platform's half of CreateThread: starts the thread with its queue
    // in place and hands out the id as CreateThread promises.
    BOOL StartThread(DWORD& dwThreadId);
    static void ThreadMain(CWorkerThread* pThread, CMessageQueue* pQueue);
    void Run(CMessageQueue* pQueue);
};
