// The worker side of OrvexLayerTest: the test program started again by
// CWorkerProcess::Start as "worker MODE ...", as orvex.exe starts itself.
#pragma once

// The worker's exit status.
int RunLayerTestWorker(int argc, char** argv);
