// Work a thread does before it blocks in a wait or a pause. The progress
// window paints at most once a display frame and holds later changes back;
// its hook paints them, so that during a long wait the screen shows the last
// step and not the one before. A hook belongs to the thread that made it and
// only that thread's waits run it.
#pragma once

#include <functional>

class CBeforeBlockHook {
public:
    // Registers fnRun on the calling thread; it must also destroy the hook.
    explicit CBeforeBlockHook(std::function<void()> fnRun);
    ~CBeforeBlockHook();
    CBeforeBlockHook(const CBeforeBlockHook&) = delete;
    CBeforeBlockHook& operator=(const CBeforeBlockHook&) = delete;

    // The calling thread's hooks, in the order they were made.
    static bool AnyOnThisThread();
    static void RunAll();

private:
    std::function<void()> m_fnRun;
};
