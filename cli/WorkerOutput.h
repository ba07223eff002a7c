// What a worker tells its parent: JSON lines on standard output (state,
// progress, done), from the procedure's thread and the progress ticker.
// Neither ever waits for the parent: the lines go through a queue of their
// own, where a full pipe makes progress coalesce (the latest wins) while
// every state and the outcome are kept. The outcome is written before the
// worker ends.
#pragma once

#include "OutputQueue.h"

#include <cstdio>
#include <string>

class CWorkerOutput {
public:
    explicit CWorkerOutput(FILE* pOut) : m_queue(fileno(pOut), nullptr) {}
    void State(const std::string& state);
    // dSeconds since the first block went out.
    void Progress(long long nBytes, long long nTotal, double dSeconds);
    // bFinished: the phone acknowledged the finishing byte.
    void Done(const std::string& outcome, const std::string& text, long long nBytes,
              bool bFinished);

private:
    COutputQueue m_queue;
};
