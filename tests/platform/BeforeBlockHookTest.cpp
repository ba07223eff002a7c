// Which waits and pauses run the calling thread's hooks first: only those
// that block for longer than a frame, and only on the hook's own thread.
#include "BeforeBlockHook.h"
#include "Event.h"
#include "ScriptedSeams.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

TEST(BeforeBlockHook, RunsOnlyBeforeALongBlockOfItsOwnThread) {
    enum Block { WaitSignalled, WaitTimesOut, Pause };
    struct Case {
        const char* pszName;
        Block block;
        DWORD dwMs;
        bool bHookOnOtherThread;
        int nExpectedRuns;
    };
    const Case cases[] = {
        {"acknowledged at once", WaitSignalled, 10000, false, 0},
        {"a wait within a frame", WaitTimesOut, 10, false, 0},
        {"a wait longer than a frame", WaitTimesOut, 60, false, 1},
        {"another thread's hook", WaitTimesOut, 60, true, 0},
        {"a pause", Pause, 5000, false, 1},
        {"a yield", Pause, 0, false, 0},
    };
    CScriptedSeams seams; // the pause returns at once
    seams.MapTimeout(5000, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        int nRuns = 0;
        std::unique_ptr<CBeforeBlockHook> pHook;
        if (c.bHookOnOtherThread)
            std::thread([&] { CBeforeBlockHook other([&] { ++nRuns; }); }).join();
        else
            pHook = std::make_unique<CBeforeBlockHook>([&] { ++nRuns; });
        CEvent event(false, c.block == WaitSignalled);
        const auto start = std::chrono::steady_clock::now();
        if (c.block == Pause) {
            Sleep(c.dwMs);
        } else {
            EXPECT_EQ(c.block == WaitSignalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT,
                      WaitForSingleObject(&event, c.dwMs));
            if (c.block == WaitTimesOut) { // the hooks' turn does not shorten the wait
                EXPECT_GE(std::chrono::steady_clock::now() - start,
                          std::chrono::milliseconds(c.dwMs));
            }
        }
        EXPECT_EQ(c.nExpectedRuns, nRuns);
    }
}

TEST(BeforeBlockHook, DestroyedHook_NoLongerRuns) {
    int nRuns = 0;
    {
        CBeforeBlockHook hook([&] { ++nRuns; });
    }
    CEvent event(false, false);
    WaitForSingleObject(&event, 40);
    EXPECT_EQ(0, nRuns);
}
