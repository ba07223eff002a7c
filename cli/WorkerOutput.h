// What a worker tells its parent: JSON lines on standard output, each
// flushed at once (state, progress, done), from the procedure's thread and
// the progress ticker.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

class CWorkerOutput {
public:
    explicit CWorkerOutput(FILE* pOut) : m_pOut(pOut) {}
    void State(const std::string& state);
    // dSeconds since the first block went out.
    void Progress(long long nBytes, long long nTotal, double dSeconds);
    // bFinished: the phone acknowledged the finishing byte.
    void Done(const std::string& outcome, const std::string& text, long long nBytes,
              bool bFinished);

private:
    void Write(const std::string& line);
    FILE* m_pOut;
    std::mutex m_mutex;
};
