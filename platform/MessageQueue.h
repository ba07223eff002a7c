// Per-thread message queues: the one road by which threads talk to windows
// and worker threads. Posting never blocks and keeps order per target thread.
#pragma once

#include "WinTypes.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

// Frees the payload a message owns when the message cannot be delivered.
typedef void (*PFN_RELEASE)(LPARAM lParam);

struct MSG {
    HWND hwnd = 0; // 0 for a thread message
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    PFN_RELEASE pfnRelease = nullptr;
};

class CMessageQueue {
public:
    CMessageQueue();
    ~CMessageQueue(); // releases the payloads of what is still queued
    CMessageQueue(const CMessageQueue&) = delete;
    CMessageQueue& operator=(const CMessageQueue&) = delete;

    // The calling thread's queue, made on first use. On the Qt GUI thread each
    // posted message also wakes Qt's event loop, which delivers it, so modal
    // dialogs, message boxes and processEvents() dispatch our messages too.
    static CMessageQueue* ForCurrentThread();
    // Makes pQueue the calling thread's queue (a worker adopting the queue
    // its creator registered before the thread ran).
    static void AdoptForCurrentThread(CMessageQueue* pQueue);

    DWORD GetThreadId() const { return m_dwThreadId; }

    void Push(const MSG& msg);
    // Waits up to dwMilliseconds; false on time-out.
    bool Get(MSG* pMsg, DWORD dwMilliseconds);
    // Drops every message for hWnd, releasing payloads.
    void Purge(HWND hWnd);
    // Called after each Push, outside the lock.
    void SetWakeHook(std::function<void()> fnWake) { m_fnWake = std::move(fnWake); }

private:
    const DWORD m_dwThreadId;
    std::mutex m_mutex;
    std::deque<MSG> m_messages;
    // The owner sleeps on this futex word, bumped by each Push that finds it
    // waiting. A condition variable would wake it into a mutex marked
    // contended and cost a futile wake-up call per message.
    std::atomic<uint32_t> m_nSignal{0};
    int m_nWaiters = 0; // under m_mutex
    std::function<void()> m_fnWake;
};

// Win32-style entry points. PostMessage and PostThreadMessage fail when the
// target no longer exists; the payload is then released here.
BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                 PFN_RELEASE pfnRelease = nullptr);
BOOL PostThreadMessage(DWORD dwThreadId, UINT message, WPARAM wParam, LPARAM lParam,
                       PFN_RELEASE pfnRelease = nullptr);
void PostQuitMessage(int nExitCode);
DWORD GetCurrentThreadId();
// Pumps the calling thread's queue: waits up to dwMilliseconds for one message.
bool GetMessage(MSG* pMsg, DWORD dwMilliseconds = INFINITE);
bool PeekMessage(MSG* pMsg);
// Delivers a window message to its window, or releases its payload when the
// window is gone. Returns false for thread messages, which it leaves alone.
bool DispatchMessage(const MSG& msg);
// Releases a message's payload (undeliverable or unhandled).
void ReleaseMessage(const MSG& msg);
