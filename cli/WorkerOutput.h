// What a worker tells its parent: JSON lines on standard output, each
// flushed at once (state, progress, done).
#pragma once

#include <cstdio>
#include <string>

class CWorkerOutput {
public:
    explicit CWorkerOutput(FILE* pOut) : m_pOut(pOut) {}
    void State(const std::string& state);
    void Progress(long long nBytes, long long nTotal);
    void Done(const std::string& outcome, const std::string& text, long long nBytes);

private:
    void Write(const std::string& line);
    FILE* m_pOut;
};
