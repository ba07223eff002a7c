// Ctrl-C in a worker. The procedures cannot be cancelled, so a worker told to
// stop ends their waits instead: the wait for the link's answer in progress
// ends as a time-out (never as an answer), every later wait and pause ends at
// once, and nothing more is posted to the link. The procedure leaves through
// its own failure path, which closes the link. The stop comes as SIGINT or
// SIGTERM on Linux (posix/WorkerStop.cpp), as the parent's stop event or a
// console control on Windows (win32/WorkerStop.cpp).
#pragma once

#include "Event.h"
#include "WinTypes.h"

// Catches the stop: SIGINT and SIGTERM; on Windows also nStopEvent, the
// event the parent handed over (-1 for none).
void InstallWorkerStop(int nStopEvent);
bool IsWorkerStopped();
// A pause that a stop cuts short.
void WorkerSleep(DWORD dwMilliseconds);
// Waits for hEvent as WaitForSingleObject does; a stop ends the wait as
// WAIT_TIMEOUT. An answer that has already come still counts.
DWORD WorkerWait(HEVENT hEvent, DWORD dwMilliseconds);
