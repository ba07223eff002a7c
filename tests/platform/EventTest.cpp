#include "Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

TEST(Event, Wait_FollowsResetKindAndInitialState) {
    struct Case {
        bool bManual;
        bool bInitial;
        int nSets;
        std::vector<DWORD> expectedWaits;
    };
    const Case cases[] = {
        {false, false, 0, {WAIT_TIMEOUT}},
        {false, true, 0, {WAIT_OBJECT_0, WAIT_TIMEOUT}},
        // A signal given while nobody waits stays for the next wait, once.
        {false, false, 1, {WAIT_OBJECT_0, WAIT_TIMEOUT}},
        {false, false, 3, {WAIT_OBJECT_0, WAIT_TIMEOUT}},
        {true, false, 1, {WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_OBJECT_0}},
        {true, true, 0, {WAIT_OBJECT_0, WAIT_OBJECT_0}},
    };
    // A zero wait only looks; it must still see a signal that is there.
    for (DWORD dwTimeout : {0u, 10u}) {
        for (const Case& c : cases) {
            CEvent event(c.bManual, c.bInitial);
            for (int i = 0; i < c.nSets; ++i)
                event.Set();
            for (size_t i = 0; i < c.expectedWaits.size(); ++i)
                EXPECT_EQ(event.Wait(dwTimeout), c.expectedWaits[i])
                    << "manual " << c.bManual << " initial " << c.bInitial << " sets "
                    << c.nSets << " wait " << i << " timeout " << dwTimeout;
        }
    }
}

TEST(Event, AutoReset_OneSetReleasesExactlyOneOfTwoWaiters) {
    CEvent event(false, false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            if (event.Wait(400) == WAIT_OBJECT_0)
                ++released;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    event.Set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 1);
}

TEST(Event, NullHandle_FailsWithoutCrashing) {
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(SetEvent(nullptr), FALSE);
    CloseHandle(nullptr);
}
