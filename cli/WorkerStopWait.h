// What each side adds to the shared WorkerStopCommon.cpp: the stop it catches
// calls StopWorker, and a wait takes the link's event and the stop event
// together.
#pragma once

#include "Event.h"
#include "WinTypes.h"

// Sets the stop; safe in a signal handler.
void StopWorker();
// Waits up to dwWait for hEvent or stopEvent. WAIT_OBJECT_0 when the wait
// itself took hEvent, WAIT_FAILED, or anything else for the caller to look
// at both again.
DWORD WaitForEventOrStop(HEVENT hEvent, const CEvent& stopEvent, DWORD dwWait);
