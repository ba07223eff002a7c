#include "MessageQueue.h"
#include "MsgWnd.h"
#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr UINT WM_TEST = WM_USER + 1;

std::atomic<int> g_released{0};
void CountRelease(LPARAM lParam) {
    ++g_released;
    free(reinterpret_cast<void*>(lParam));
}
LPARAM Payload() { return reinterpret_cast<LPARAM>(malloc(16)); }

class CRecordingWnd : public CMsgWnd {
public:
    std::vector<std::pair<UINT, WPARAM>> received;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        received.emplace_back(message, wParam);
        if (message == WM_TEST && lParam != 0)
            free(reinterpret_cast<void*>(lParam)); // delivered payloads are the receiver's
        return 0;
    }
};

// Pumps the calling thread's queue until it is empty.
void PumpAll() {
    MSG msg;
    while (GetMessage(&msg, 0))
        DispatchMessage(msg);
}

} // namespace

TEST(MessageQueue, Post_FromManyThreads_KeepsEachPostersOrder) {
    CRecordingWnd wnd;
    ASSERT_TRUE(wnd.Create());
    const HWND hWnd = wnd.GetSafeHwnd();
    std::vector<std::thread> posters;
    for (WPARAM t = 0; t < 4; ++t)
        posters.emplace_back([hWnd, t] {
            for (WPARAM i = 0; i < 500; ++i)
                PostMessage(hWnd, WM_TEST, t * 1000 + i, 0);
        });
    for (auto& t : posters)
        t.join();
    PumpAll();
    std::vector<WPARAM> last(4, static_cast<WPARAM>(-1));
    size_t count = 0;
    for (auto& [message, wParam] : wnd.received) {
        if (message != WM_TEST)
            continue;
        ++count;
        WPARAM poster = wParam / 1000, index = wParam % 1000;
        EXPECT_TRUE(last[poster] == static_cast<WPARAM>(-1) || index == last[poster] + 1);
        last[poster] = index;
    }
    EXPECT_EQ(count, 2000u);
}

TEST(MessageQueue, Get_WaitsForAPostFromAnotherThreadOrItsTimeOut) {
    struct Case {
        DWORD dwTimeout;
        int nPostAfterMs; // -1: nobody posts
        bool bExpected;
    };
    const Case cases[] = {
        {0, -1, false},
        {60, -1, false},
        // A post while the owner sleeps wakes it long before its time-out.
        {INFINITE, 20, true},
        {10000, 20, true},
        // Posted before the owner waits: taken at once, even with no time.
        {0, 0, true},
    };
    CMessageQueue queue;
    const DWORD dwId = queue.GetThreadId();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dwTimeout) + " / " + std::to_string(c.nPostAfterMs));
        if (c.nPostAfterMs == 0) {
            ASSERT_TRUE(PostThreadMessage(dwId, WM_TEST, 7, 0));
        }
        std::thread poster;
        if (c.nPostAfterMs > 0)
            poster = std::thread([&c, dwId] {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.nPostAfterMs));
                PostThreadMessage(dwId, WM_TEST, 7, 0);
            });
        const auto start = std::chrono::steady_clock::now();
        MSG msg;
        const bool bGot = queue.Get(&msg, c.dwTimeout);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (poster.joinable())
            poster.join();
        EXPECT_EQ(bGot, c.bExpected);
        if (bGot) {
            EXPECT_EQ(msg.wParam, 7u);
        } else {
            EXPECT_GE(elapsed, std::chrono::milliseconds(c.dwTimeout));
        }
    }
}

TEST(MessageQueue, TargetGone_PostFailsAndQueuedPayloadsAreReleased) {
    g_released = 0;
    auto pWnd = std::make_unique<CRecordingWnd>();
    ASSERT_TRUE(pWnd->Create());
    const HWND hWnd = pWnd->GetSafeHwnd();
    EXPECT_TRUE(PostMessage(hWnd, WM_TEST, 1, Payload(), CountRelease));
    EXPECT_TRUE(PostMessage(hWnd, WM_TEST, 2, Payload(), CountRelease));
    pWnd->DestroyWindow();
    EXPECT_EQ(g_released.load(), 2) << "queued messages of a destroyed window are released";
    EXPECT_FALSE(PostMessage(hWnd, WM_TEST, 3, Payload(), CountRelease));
    EXPECT_EQ(g_released.load(), 3) << "a failed post releases the payload";
    PumpAll();
    EXPECT_EQ(pWnd->received.size(), 2u) << "only WM_CREATE and WM_DESTROY arrived";
}

namespace {

class CEchoWorker : public CWorkerThread {
public:
    CEchoWorker(HEVENT hDone, std::vector<WPARAM>* pSeen, std::mutex* pMutex)
        : m_pSeen(pSeen), m_pMutex(pMutex) {
        m_hSignalAfterDelete = hDone;
    }
    ~CEchoWorker() override { ++s_nDeleted; }
    static std::atomic<int> s_nDeleted;

protected:
    BOOL InitInstance() override {
        m_wnd.Create();
        m_pMainWnd = &m_wnd;
        return TRUE;
    }
    bool OnThreadMessage(const MSG& msg) override {
        if (msg.message == WM_TEST) {
            std::lock_guard<std::mutex> lock(*m_pMutex);
            m_pSeen->push_back(msg.wParam);
        } else if (msg.message == WM_TEST + 1) {
            m_wnd.DestroyWindow(); // ends the loop, as the link's stop does
        }
        return true;
    }

private:
    CMsgWnd m_wnd;
    std::vector<WPARAM>* m_pSeen;
    std::mutex* m_pMutex;
};
std::atomic<int> CEchoWorker::s_nDeleted{0};

} // namespace

TEST(WorkerThread, MainWindowDestroyed_DeletesItselfThenSignals) {
    CEvent done(false, false);
    std::vector<WPARAM> seen;
    std::mutex mutex;
    CEchoWorker::s_nDeleted = 0;
    auto* pWorker = new CEchoWorker(&done, &seen, &mutex);
    ASSERT_TRUE(pWorker->CreateThread());
    const DWORD id = pWorker->m_nThreadID;
    // Posted before the thread may even have run: nothing is lost.
    for (WPARAM i = 0; i < 100; ++i)
        EXPECT_TRUE(PostThreadMessage(id, WM_TEST, i, 0));
    EXPECT_TRUE(PostThreadMessage(id, WM_TEST + 1, 0, 0));
    ASSERT_EQ(done.Wait(5000), WAIT_OBJECT_0);
    EXPECT_EQ(CEchoWorker::s_nDeleted.load(), 1);
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(seen.size(), 100u);
    for (WPARAM i = 0; i < 100; ++i)
        EXPECT_EQ(seen[i], i);
    g_released = 0;
    EXPECT_FALSE(PostThreadMessage(id, WM_TEST, 0, Payload(), CountRelease));
    EXPECT_EQ(g_released.load(), 1);
}

TEST(WorkerThread, CreateHookRefuses_CreateThreadFailsAndCallerKeepsObject) {
    CWorkerThread::SetCreateHook([] { return false; });
    auto pWorker = std::make_unique<CEchoWorker>(nullptr, nullptr, nullptr);
    EXPECT_FALSE(pWorker->CreateThread());
    EXPECT_EQ(pWorker->m_nThreadID, 0u);
    CWorkerThread::SetCreateHook(nullptr);
}
