// The progress window's operations in a worker: the upload's bar becomes
// progress lines for the parent (at most ten a second, and the last), the
// flash page's erase wait a state.
#pragma once

#include "Progress.h"
#include "WorkerOutput.h"

#include <chrono>

class CWorkerProgress : public IProgress {
public:
    explicit CWorkerProgress(CWorkerOutput& output) : m_output(output) {}
    BOOL Create() override;
    void SetStep(int nStep) override { m_nStep = nStep; }
    void SetRange(int nLower, int nUpper) override;
    void SetStatusText(const std::string& text) override { m_strStatus = text; }
    int StepIt() override;
    BOOL DestroyWindow() override;

    long long BytesSent() const { return m_nBytes; }
    const std::string& StatusText() const { return m_strStatus; }

private:
    bool IsUpload() const { return m_nWindows == 1; }

    CWorkerOutput& m_output;
    int m_nWindows = 0; // the first shows the blocks, a second the erase wait
    int m_nStep = 0;
    int m_nLower = 0;
    int m_nUpper = 0;
    int m_nPos = 0;
    long long m_nBytes = 0;
    std::string m_strStatus;
    std::chrono::steady_clock::time_point m_lastSent;
};
