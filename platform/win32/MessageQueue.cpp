// The Windows side of MessageQueue.h: the thread's real message queue,
// PostMessage and PostThreadMessage, and a table of our windows and threads
// so that a post to a target that is gone fails and releases its payload.
#include "MessageQueue.h"

#include "MsgWnd.h"
#include "SinkTable.h"
#include "Win32Api.h"

#include <memory>
#include <unordered_map>
#include <vector>

namespace {

struct CEnvelope {
    MSG msg;
    DWORD dwThreadId; // the target thread of a thread message
};

struct CTable {
    std::mutex mutex;
    std::unordered_map<HWND, CMsgWnd*> windows;
    std::unordered_map<DWORD, int> threads; // queue objects per thread
    std::unordered_map<LPARAM, CEnvelope> envelopes;
    LPARAM nextEnvelope = 1;
};

// Never destroyed: socket threads may still post while statics are torn down.
CTable& Table() {
    static CTable* pTable = new CTable;
    return *pTable;
}

// Takes out, under the lock, the envelopes that fit bMatch.
template <typename Match> std::vector<MSG> TakeEnvelopes(CTable& table, Match bMatch) {
    std::vector<MSG> taken;
    for (auto it = table.envelopes.begin(); it != table.envelopes.end();) {
        if (bMatch(it->second)) {
            taken.push_back(it->second.msg);
            it = table.envelopes.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

void ReleaseAll(const std::vector<MSG>& messages) {
    for (const MSG& msg : messages)
        ReleaseMessage(msg);
}

thread_local CMessageQueue* t_pQueue = nullptr;
thread_local std::unique_ptr<CMessageQueue> t_pOwnedQueue;

// Takes the next message of the calling thread, opening envelopes.
bool TakeMessage(MSG* pMsg, DWORD dwMilliseconds) {
    for (;;) {
        Win32::RawMessage raw;
        // An envelope released meanwhile counts as no message; its wait
        // starts again, which only stretches a finite wait by a little.
        if (!Win32::NextMessage(&raw, dwMilliseconds))
            return false;
        if (raw.message == Win32Sinks::kWmEnvelope) {
            if (Win32Sinks::TakeEnvelope(raw.lParam, pMsg))
                return true;
            continue;
        }
        *pMsg = MSG{raw.hwnd, raw.message, raw.wParam, raw.lParam, nullptr};
        return true;
    }
}

} // namespace

namespace Win32Sinks {

void AddWindow(HWND hWnd, CMsgWnd* pWnd) {
    CTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.windows[hWnd] = pWnd;
}

CMsgWnd* FindWindow(HWND hWnd) {
    CTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.windows.find(hWnd);
    return it != table.windows.end() ? it->second : nullptr;
}

void RemoveWindow(HWND hWnd) {
    CTable& table = Table();
    std::vector<MSG> taken;
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        table.windows.erase(hWnd);
        taken = TakeEnvelopes(table, [hWnd](const CEnvelope& e) { return e.msg.hwnd == hWnd; });
    }
    ReleaseAll(taken);
}

void AddThread(DWORD dwThreadId) {
    CTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    ++table.threads[dwThreadId];
}

void RemoveThread(DWORD dwThreadId) {
    CTable& table = Table();
    std::vector<MSG> taken;
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.threads.find(dwThreadId);
        if (it == table.threads.end() || --it->second > 0)
            return;
        table.threads.erase(it);
        taken = TakeEnvelopes(table, [dwThreadId](const CEnvelope& e) {
            return e.msg.hwnd == 0 && e.dwThreadId == dwThreadId;
        });
    }
    ReleaseAll(taken);
}

BOOL Post(const MSG& msg, DWORD dwThreadId) {
    CTable& table = Table();
    std::unique_lock<std::mutex> lock(table.mutex);
    // Our own targets are checked in the table, so a window or thread that
    // has gone fails even when Windows has given its handle or id anew.
    const bool bOurs =
        msg.hwnd != 0 ? table.windows.count(msg.hwnd) != 0 : table.threads.count(dwThreadId) != 0;
    if (!bOurs && (msg.pfnRelease != nullptr || msg.hwnd == 0)) {
        lock.unlock();
        ReleaseMessage(msg);
        return FALSE;
    }
    UINT message = msg.message;
    WPARAM wParam = msg.wParam;
    LPARAM lParam = msg.lParam;
    LPARAM nEnvelope = 0;
    if (msg.pfnRelease != nullptr) {
        nEnvelope = table.nextEnvelope++;
        table.envelopes[nEnvelope] = CEnvelope{msg, dwThreadId};
        message = kWmEnvelope;
        wParam = 0;
        lParam = nEnvelope;
    }
    // Posted under the lock, so a target retired meanwhile cannot miss the
    // envelope; posting never blocks.
    const bool bPosted = msg.hwnd != 0 ? Win32::PostToWindow(msg.hwnd, message, wParam, lParam)
                                       : Win32::PostToThread(dwThreadId, message, wParam, lParam);
    if (bPosted)
        return TRUE;
    if (nEnvelope != 0)
        table.envelopes.erase(nEnvelope);
    lock.unlock();
    ReleaseMessage(msg);
    return FALSE;
}

bool TakeEnvelope(LPARAM lParam, MSG* pMsg) {
    CTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.envelopes.find(lParam);
    if (it == table.envelopes.end())
        return false;
    *pMsg = it->second.msg;
    table.envelopes.erase(it);
    return true;
}

} // namespace Win32Sinks

CMessageQueue::CMessageQueue()
    : m_dwThreadId([] {
          Win32::MakeThreadQueue();
          const DWORD dwId = Win32::GetCurrentThreadId();
          Win32Sinks::AddThread(dwId);
          return dwId;
      }()) {}

CMessageQueue::~CMessageQueue() {
    Win32Sinks::RemoveThread(m_dwThreadId);
}

CMessageQueue* CMessageQueue::ForCurrentThread() {
    if (t_pQueue == nullptr) {
        t_pOwnedQueue = std::make_unique<CMessageQueue>();
        t_pQueue = t_pOwnedQueue.get();
    }
    return t_pQueue;
}

void CMessageQueue::AdoptForCurrentThread(CMessageQueue* pQueue) {
    t_pQueue = pQueue;
}

void CMessageQueue::Push(const MSG& msg) {
    Win32Sinks::Post(msg, m_dwThreadId);
    if (m_fnWake)
        m_fnWake();
}

// Only the owner thread takes from its queue, as with Windows' own.
bool CMessageQueue::Get(MSG* pMsg, DWORD dwMilliseconds) {
    return TakeMessage(pMsg, dwMilliseconds);
}

void CMessageQueue::Purge(HWND hWnd) {
    Win32Sinks::RemoveWindow(hWnd);
    Win32::RawMessage raw;
    while (Win32::PeekWindowMessage(hWnd, &raw)) {
    }
}

void ReleaseMessage(const MSG& msg) {
    if (msg.pfnRelease != nullptr)
        msg.pfnRelease(msg.lParam);
}

BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, PFN_RELEASE pfnRelease) {
    const MSG msg{hWnd, message, wParam, lParam, pfnRelease};
    if (hWnd == 0) {
        ReleaseMessage(msg);
        return FALSE;
    }
    return Win32Sinks::Post(msg, 0);
}

BOOL PostThreadMessage(DWORD dwThreadId, UINT message, WPARAM wParam, LPARAM lParam,
                       PFN_RELEASE pfnRelease) {
    return Win32Sinks::Post(MSG{0, message, wParam, lParam, pfnRelease}, dwThreadId);
}

void PostQuitMessage(int nExitCode) {
    Win32::PostQuitMessage(nExitCode);
}

DWORD GetCurrentThreadId() {
    return CMessageQueue::ForCurrentThread()->GetThreadId();
}

bool GetMessage(MSG* pMsg, DWORD dwMilliseconds) {
    CMessageQueue::ForCurrentThread();
    return TakeMessage(pMsg, dwMilliseconds);
}

bool PeekMessage(MSG* pMsg) {
    return GetMessage(pMsg, 0);
}

bool DispatchMessage(const MSG& msg) {
    if (msg.hwnd == 0)
        return false;
    // A message whose envelope was opened goes straight to its window,
    // which lives on this thread; anything else takes the real dispatch, so
    // the system's own messages get their default handling. A message for a
    // window that has gone is dropped with its payload.
    CMsgWnd* pWnd = msg.pfnRelease != nullptr ? Win32Sinks::FindWindow(msg.hwnd) : nullptr;
    if (pWnd != nullptr)
        pWnd->WindowProc(msg.message, msg.wParam, msg.lParam);
    else if (msg.pfnRelease == nullptr && Win32::IsWindow(msg.hwnd))
        Win32::Dispatch(Win32::RawMessage{msg.hwnd, msg.message, msg.wParam, msg.lParam});
    else
        ReleaseMessage(msg);
    return true;
}
