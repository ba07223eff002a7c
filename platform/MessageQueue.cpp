#include "MessageQueue.h"

#include "Event.h"
#include "MsgWnd.h"
#include "WindowRegistry.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>

#include <chrono>
#include <ctime>
#include <linux/futex.h>
#include <memory>
#include <shared_mutex>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_map>

namespace {

// Which thread queue serves each live window and thread id. Handles are never
// reused, so a post to a destroyed target fails instead of reaching another.
struct CRegistry {
    // Shared by posting and dispatching, which only look up: a socket thread
    // posts, and wakes the owner, while holding it, and the woken owner at
    // once looks up the window. One lock would send the owner back to sleep
    // on it. Exclusive for adding and removing targets.
    std::shared_mutex mutex;
    std::unordered_map<DWORD, CMessageQueue*> threads;
    std::unordered_map<HWND, std::pair<CMsgWnd*, CMessageQueue*>> windows;
    HWND nextWindow = 1;
    DWORD nextThread = 1;
};

// Never destroyed: socket threads may still post while statics are torn down.
CRegistry& Registry() {
    static CRegistry* pRegistry = new CRegistry;
    return *pRegistry;
}

thread_local CMessageQueue* t_pQueue = nullptr;
thread_local std::unique_ptr<CMessageQueue> t_pOwnedQueue;

// Lives on the GUI thread and wakes Qt's loop through an eventfd, so the only
// thing that crosses threads is a write to that descriptor; Qt makes its
// events on the GUI thread itself. Before each delivery the wake-up is armed
// again, so a nested loop (a modal dialog, a message box) goes on delivering.
class CQtForwarder : public QObject {
public:
    explicit CQtForwarder(CMessageQueue* pQueue)
        : m_pQueue(pQueue), m_wake(false, false),
          m_notifier(m_wake.GetNative(), QSocketNotifier::Read) {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, this, [this] { Deliver(); });
    }
    void Wake() { m_wake.Set(); }

private:
    // A bounded batch keeps input and painting responsive under a flood.
    static constexpr int kBatch = 256;

    void Deliver() {
        m_wake.TryAcquire();
        for (int i = 0; i < kBatch; ++i) {
            MSG msg;
            if (!m_pQueue->Get(&msg, 0))
                return;
            m_wake.Set();
            if (!DispatchMessage(msg))
                ReleaseMessage(msg); // no thread messages are handled on the GUI thread
        }
    }

    CMessageQueue* m_pQueue;
    CEvent m_wake;
    QSocketNotifier m_notifier;
};

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
                  std::atomic<uint32_t>::is_always_lock_free,
              "a futex word is a plain 32-bit integer");

uint32_t* FutexWord(std::atomic<uint32_t>* pWord) { return reinterpret_cast<uint32_t*>(pWord); }

void FutexWake(std::atomic<uint32_t>* pWord) {
    syscall(SYS_futex, FutexWord(pWord), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// Sleeps while *pWord still holds nSeen, up to pTimeout (null: no limit).
void FutexWait(std::atomic<uint32_t>* pWord, uint32_t nSeen, const timespec* pTimeout) {
    syscall(SYS_futex, FutexWord(pWord), FUTEX_WAIT_PRIVATE, nSeen, pTimeout, nullptr, 0);
}

bool OnQtGuiThread() {
    QCoreApplication* pApp = QCoreApplication::instance();
    return pApp != nullptr && QThread::currentThread() == pApp->thread();
}

void ForwardIntoQt(CMessageQueue* pQueue) {
    // Created once, on the GUI thread, and kept for the life of the process.
    static CQtForwarder* pForwarder = new CQtForwarder(pQueue);
    pQueue->SetWakeHook([] { pForwarder->Wake(); });
}

} // namespace

CMessageQueue::CMessageQueue()
    : m_dwThreadId([this] {
          CRegistry& reg = Registry();
          std::lock_guard<std::shared_mutex> lock(reg.mutex);
          DWORD id = reg.nextThread++;
          reg.threads[id] = this;
          return id;
      }()) {}

CMessageQueue::~CMessageQueue() {
    {
        CRegistry& reg = Registry();
        std::lock_guard<std::shared_mutex> lock(reg.mutex);
        reg.threads.erase(m_dwThreadId);
        for (auto it = reg.windows.begin(); it != reg.windows.end();) {
            if (it->second.second == this)
                it = reg.windows.erase(it);
            else
                ++it;
        }
    }
    for (const MSG& msg : m_messages)
        ReleaseMessage(msg);
}

CMessageQueue* CMessageQueue::ForCurrentThread() {
    if (t_pQueue == nullptr) {
        t_pOwnedQueue = std::make_unique<CMessageQueue>();
        t_pQueue = t_pOwnedQueue.get();
        if (OnQtGuiThread())
            ForwardIntoQt(t_pQueue);
    }
    return t_pQueue;
}

void CMessageQueue::AdoptForCurrentThread(CMessageQueue* pQueue) { t_pQueue = pQueue; }

void CMessageQueue::Push(const MSG& msg) {
    bool bWake;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back(msg);
        bWake = m_nWaiters > 0;
        if (bWake)
            m_nSignal.fetch_add(1, std::memory_order_relaxed);
    }
    if (bWake)
        FutexWake(&m_nSignal);
    if (m_fnWake)
        m_fnWake();
}

bool CMessageQueue::Get(MSG* pMsg, DWORD dwMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_messages.empty()) {
        timespec timeout{};
        if (dwMilliseconds != INFINITE) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero())
                return false;
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        // Read under the lock: a Push after the unlock changes the word, and
        // the wait then returns at once.
        const uint32_t nSeen = m_nSignal.load(std::memory_order_relaxed);
        ++m_nWaiters;
        lock.unlock();
        FutexWait(&m_nSignal, nSeen, dwMilliseconds == INFINITE ? nullptr : &timeout);
        lock.lock();
        --m_nWaiters;
    }
    *pMsg = m_messages.front();
    m_messages.pop_front();
    return true;
}

void CMessageQueue::Purge(HWND hWnd) {
    std::deque<MSG> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_messages.begin(); it != m_messages.end();) {
            if (it->hwnd == hWnd) {
                dropped.push_back(*it);
                it = m_messages.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const MSG& msg : dropped)
        ReleaseMessage(msg);
}

void ReleaseMessage(const MSG& msg) {
    if (msg.pfnRelease != nullptr)
        msg.pfnRelease(msg.lParam);
}

BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, PFN_RELEASE pfnRelease) {
    MSG msg{hWnd, message, wParam, lParam, pfnRelease};
    if (hWnd != 0) {
        CRegistry& reg = Registry();
        std::shared_lock<std::shared_mutex> lock(reg.mutex);
        auto it = reg.windows.find(hWnd);
        if (it != reg.windows.end()) {
            it->second.second->Push(msg);
            return TRUE;
        }
    }
    ReleaseMessage(msg);
    return FALSE;
}

BOOL PostThreadMessage(DWORD dwThreadId, UINT message, WPARAM wParam, LPARAM lParam,
                       PFN_RELEASE pfnRelease) {
    MSG msg{0, message, wParam, lParam, pfnRelease};
    {
        CRegistry& reg = Registry();
        std::shared_lock<std::shared_mutex> lock(reg.mutex);
        auto it = reg.threads.find(dwThreadId);
        if (it != reg.threads.end()) {
            it->second->Push(msg);
            return TRUE;
        }
    }
    ReleaseMessage(msg);
    return FALSE;
}

void PostQuitMessage(int nExitCode) {
    CMessageQueue::ForCurrentThread()->Push(MSG{0, WM_QUIT, static_cast<WPARAM>(nExitCode), 0, nullptr});
}

DWORD GetCurrentThreadId() { return CMessageQueue::ForCurrentThread()->GetThreadId(); }

bool GetMessage(MSG* pMsg, DWORD dwMilliseconds) {
    return CMessageQueue::ForCurrentThread()->Get(pMsg, dwMilliseconds);
}

bool PeekMessage(MSG* pMsg) { return CMessageQueue::ForCurrentThread()->Get(pMsg, 0); }

bool DispatchMessage(const MSG& msg) {
    if (msg.hwnd == 0)
        return false;
    CMsgWnd* pWnd = nullptr;
    {
        CRegistry& reg = Registry();
        std::shared_lock<std::shared_mutex> lock(reg.mutex);
        auto it = reg.windows.find(msg.hwnd);
        if (it != reg.windows.end())
            pWnd = it->second.first;
    }
    // Windows are destroyed only on their own thread, which is this one.
    if (pWnd != nullptr)
        pWnd->WindowProc(msg.message, msg.wParam, msg.lParam);
    else
        ReleaseMessage(msg);
    return true;
}

namespace PlatformWindows {

HWND Register(CMsgWnd* pWnd, CMessageQueue* pQueue) {
    CRegistry& reg = Registry();
    std::lock_guard<std::shared_mutex> lock(reg.mutex);
    HWND hWnd = reg.nextWindow++;
    reg.windows[hWnd] = {pWnd, pQueue};
    return hWnd;
}

void Unregister(HWND hWnd) {
    CRegistry& reg = Registry();
    std::lock_guard<std::shared_mutex> lock(reg.mutex);
    reg.windows.erase(hWnd);
}

} // namespace PlatformWindows
