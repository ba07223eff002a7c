// How many threads of this process run at a given priority, read with the
// tool-help snapshot: a test's view of threads the code under test starts
// and never names.
#pragma once

int CountOwnThreadsAtPriority(int nPriority);
