// Ctrl-C in a worker. The procedures have no way to be cancelled, so a
// worker told to stop makes their waits end: the acknowledgement wait is
// woken and every later wait times out at once, and the procedure leaves
// through its own failure path, which closes the link.
#pragma once

#include "WinTypes.h"

// Catches SIGINT and SIGTERM.
void InstallWorkerStop();
bool IsWorkerStopped();
// A pause that a stop cuts short.
void WorkerSleep(DWORD dwMilliseconds);
