// Ctrl-C in a worker. The procedures cannot be cancelled, so a worker told to
// stop ends their waits instead: the wait for the link's answer in progress
// ends as a time-out (never as an answer), every later wait and pause ends at
// once, and nothing more is posted to the link. The procedure leaves through
// its own failure path, which closes the link.
#pragma once

#include "Event.h"
#include "WinTypes.h"

// Catches SIGINT and SIGTERM.
void InstallWorkerStop();
bool IsWorkerStopped();
// A pause that a stop cuts short.
void WorkerSleep(DWORD dwMilliseconds);
// Waits for hEvent as WaitForSingleObject does; a stop ends the wait as
// WAIT_TIMEOUT. An answer that has already come still counts.
DWORD WorkerWait(HEVENT hEvent, DWORD dwMilliseconds);
