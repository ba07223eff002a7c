// Windows gives a thread its message queue only once the thread has run a
// little; a worker's CreateThread must not return before, or the posts its
// creator makes at once are refused.
#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

constexpr UINT WM_COUNT = WM_USER + 1;
constexpr UINT WM_END = WM_USER + 2;

class CCountingWorker : public CWorkerThread {
public:
    CCountingWorker(HEVENT hDone, std::atomic<int>* pCount) : m_pCount(pCount) {
        m_hSignalAfterDelete = hDone;
    }

protected:
    bool OnThreadMessage(const MSG& msg) override {
        if (msg.message == WM_COUNT)
            ++*m_pCount;
        else if (msg.message == WM_END)
            PostQuitMessage(0);
        return true;
    }

private:
    std::atomic<int>* m_pCount;
};

} // namespace

TEST(WorkerStart, CreateThread_PostedToAtOnce_EveryPostArrives) {
    constexpr int kWorkers = 40;
    std::atomic<int> count{0};
    for (int i = 0; i < kWorkers; ++i) {
        CEvent done(false, false);
        DWORD dwId = 0;
        ASSERT_TRUE((new CCountingWorker(&done, &count))->CreateThread(&dwId));
        EXPECT_TRUE(PostThreadMessage(dwId, WM_COUNT, 0, 0)) << "worker " << i;
        ASSERT_TRUE(PostThreadMessage(dwId, WM_END, 0, 0)) << "worker " << i;
        ASSERT_EQ(done.Wait(5000), WAIT_OBJECT_0) << "worker " << i;
    }
    EXPECT_EQ(count.load(), kWorkers);
}
