// Memory figures: the process's own peak resident memory, reset between
// measurements so that each row reports its own peak, and the summed PSS of
// a program with its workers.
#pragma once

#include <sys/types.h>

// Makes the current resident size the new peak (Linux clear_refs, 5).
bool ResetPeakMemory();
// The peak resident size since the last reset, in MiB; negative when
// /proc cannot tell.
double PeakMemoryMiB();
// The summed proportional set size of pid and every process below it, in
// KiB: shared pages (the program, Qt) count once across them, split among
// the processes that map them. Processes gone meanwhile count nothing.
long TreePssKiB(pid_t pid);
