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
                    << "manual " << c.bManual << " initial " << c.bInitial << " sets " << c.nSets
                    << " wait " << i << " timeout " << dwTimeout;
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

// Each step: 'S' sets, 'R' resets, 'W' waits 0 ms and must take the signal,
// 'T' waits 0 ms and must time out. A reset clears what any earlier set left,
// whatever a wait took in between, and a set after a reset or a taken
// signal stands again.
TEST(Event, Reset_ClearsWhatTheSetsBeforeItLeft) {
    struct Case {
        bool bManual;
        bool bInitial;
        const char* pszSteps;
    };
    const Case cases[] = {
        {false, true, "RT"},     {false, false, "SRT"},   {false, false, "SSRT"},
        {false, false, "SWRT"},  {false, false, "SWSRT"}, {false, false, "SWSWT"},
        {false, false, "RSWT"},  {false, false, "SRSWT"}, {false, true, "WSRT"},
        {true, true, "RT"},      {true, false, "SRT"},    {true, false, "SWWRT"},
        {true, false, "SRSWRT"}, {true, false, "RSWW"},
    };
    for (const Case& c : cases) {
        CEvent event(c.bManual, c.bInitial);
        for (const char* p = c.pszSteps; *p != 0; ++p) {
            const size_t nStep = static_cast<size_t>(p - c.pszSteps);
            switch (*p) {
            case 'S':
                event.Set();
                break;
            case 'R':
                EXPECT_EQ(ResetEvent(&event), TRUE);
                break;
            case 'W':
            case 'T':
                EXPECT_EQ(WaitForSingleObject(&event, 0),
                          *p == 'W' ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT))
                    << "manual " << c.bManual << " initial " << c.bInitial << " steps "
                    << c.pszSteps << " at " << nStep;
                break;
            }
        }
    }
}

// The upload's pattern: reset, ask, wait for the answer, and a stray second
// answer that comes after the wait took the first. The reset before the next
// request must clear the stray one, or the next wait ends on it.
TEST(Event, Reset_ClearsAStrayAnswerThatCameAfterTheWait) {
    constexpr int kRounds = 5000;
    CEvent request(false, false);
    CEvent answer(false, false);
    CEvent answeredTwice(false, false);
    std::atomic<int> nAnswered{0};
    std::thread peer([&] {
        for (int i = 1; i <= kRounds; ++i) {
            if (request.Wait(5000) != WAIT_OBJECT_0)
                return;
            nAnswered = i;
            answer.Set();
            answer.Set(); // the stray one, racing the wait
            answeredTwice.Set();
        }
    });
    int nWrong = 0;
    for (int i = 1; i <= kRounds; ++i) {
        ResetEvent(&answer);
        request.Set();
        ASSERT_EQ(answer.Wait(5000), WAIT_OBJECT_0) << "round " << i;
        if (nAnswered.load() != i)
            ++nWrong;
        ASSERT_EQ(answeredTwice.Wait(5000), WAIT_OBJECT_0) << "round " << i;
    }
    peer.join();
    EXPECT_EQ(nWrong, 0) << "waits that ended on the last round's stray answer";
}

TEST(Event, NullHandle_FailsWithoutCrashing) {
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(SetEvent(nullptr), FALSE);
    CloseHandle(nullptr);
}
