// Worker modes (first argument after "worker"); CWorkerProcess::Start adds
// "--stop-event N" at the end:
//   lines   writes two lines, then "stopped" once told to stop (status 3),
//           or "not stopped" after 20 s (status 4)
//   hang    writes "pid N" (its process id), sleeps until killed
//   image N reads the image handed over as handle N by its path and writes
//           its length and bytes as hex
//   wait    waits for a link answer that never comes, through WorkerWait,
//           and writes how the wait ended once told to stop
//   answer  the same with the answer set before the stop
//   spawn   starts a "hang" worker of its own, passes on its "pid N", hangs
#include "OrvexLayerWorker.h"

#include "Console.h"
#include "Event.h"
#include "InputImage.h"
#include "WorkerProcess.h"
#include "WorkerStop.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <process.h>
#include <string>
#include <thread>

namespace {

int StopEvent(int argc, char** argv) {
    for (int i = 0; i + 1 < argc; ++i)
        if (strcmp(argv[i], "--stop-event") == 0)
            return atoi(argv[i + 1]);
    return -1;
}

void Line(const std::string& text) {
    fputs((text + "\n").c_str(), stdout);
    fflush(stdout);
}

} // namespace

int RunLayerTestWorker(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[2] : "";
    // As orvex's own worker does: its lines end in LF alone.
    PrepareStandardStreams();
    InstallWorkerStop(StopEvent(argc, argv));
    if (mode == "lines") {
        Line("one");
        Line("two");
        for (int i = 0; i < 2000 && !IsWorkerStopped(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        Line(IsWorkerStopped() ? "stopped" : "not stopped");
        return IsWorkerStopped() ? 3 : 4;
    }
    if (mode == "hang") {
        Line("pid " + std::to_string(_getpid()));
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (mode == "image" && argc > 3) {
        const std::string path = CInputImage::DescriptorPath(atoi(argv[3]));
        FILE* pFile = fopen(path.c_str(), "rb");
        if (pFile == nullptr) {
            Line("cannot open " + path);
            return 5;
        }
        std::string hex;
        int c;
        while ((c = fgetc(pFile)) != EOF) {
            char sz[4];
            snprintf(sz, sizeof sz, "%02x", c);
            hex += sz;
        }
        fclose(pFile);
        Line(std::to_string(hex.size() / 2) + " " + hex);
        return 0;
    }
    if (mode == "wait" || mode == "answer") {
        CEvent answer(false, mode == "answer");
        Line("waiting");
        const auto start = std::chrono::steady_clock::now();
        const DWORD dwResult = WorkerWait(&answer, 20000);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        // A pause after the stop ends at once too.
        WorkerSleep(20000);
        Line(std::string(dwResult == WAIT_OBJECT_0  ? "answer"
                         : dwResult == WAIT_TIMEOUT ? "timeout"
                                                    : "failed") +
             " " + std::to_string(ms) + " " +
             std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count()));
        return 0;
    }
    if (mode == "spawn") {
        auto pWorker = CWorkerProcess::Start({"worker", "hang"});
        if (!pWorker) {
            Line("not started");
            return 6;
        }
        // Passes on the grandchild's "pid N", then hangs.
        CStopRequest stop;
        std::vector<std::string> lines;
        while (lines.empty()) {
            std::vector<bool> ready;
            CWorkerProcess::WaitAny({pWorker.get()}, stop, 1000, &ready);
            if (!pWorker->Read(&lines))
                break;
        }
        Line(lines.empty() ? "no pid" : lines[0]);
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    return 2;
}
