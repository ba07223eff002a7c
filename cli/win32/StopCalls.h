// Internal to the Windows side of cli/: the Win32 calls the worker's stop
// needs, in plain C++ types. WorkerStop.h brings the shared Win32 names
// (DWORD, CEvent), which clash with <windows.h>, so only StopCalls.cpp
// includes it.
#pragma once

#include <cstdint>

namespace StopCalls {

// Runs pfnOnStop once, on a thread of its own, when the inherited event
// nHandle is set.
bool WatchEvent(intptr_t nHandle, void (*pfnOnStop)());
// Runs pfnOnStop for Ctrl-C, Ctrl-Break and the console's close, should the
// worker have a console (one run by hand).
void CatchConsoleControl(void (*pfnOnStop)());
// WaitForMultipleObjects on two handles, any one: 0 or 1 for the first
// that is set (an auto-reset event is taken), 0x102 for a time-out.
uint32_t WaitForEither(void* hFirst, void* hSecond, uint32_t dwMilliseconds);

} // namespace StopCalls
