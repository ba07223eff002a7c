// Internal to the Windows side of cli/: the one event the parent's wait
// (CWorkerProcess::WaitAny) sleeps on. Each worker's reader thread sets it
// when it has taken output or seen the end, the console control handler
// when a stop is requested.
#pragma once

void* ParentWakeEvent(); // an auto-reset event, made on first use
