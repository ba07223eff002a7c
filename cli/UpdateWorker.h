// The hidden "orvex worker" command: one phone, one procedure, in a process
// of its own, reporting to the parent in JSON lines.
#pragma once

#include "WorkerOptions.h"

// The process's exit status; the outcome goes out as the last line.
int RunUpdateWorker(const CWorkerOptions& options);
