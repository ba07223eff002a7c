// The process's peak resident memory, reset between measurements so that
// each row reports its own peak.
#pragma once

// Makes the current resident size the new peak (Linux clear_refs, 5).
bool ResetPeakMemory();
// The peak resident size since the last reset, in MiB; negative when
// /proc cannot tell.
double PeakMemoryMiB();
