// The progress window's operations in a worker: the upload's bar becomes
// progress lines for the parent, sent ten times a second by a ticker of
// its own, so a phone that stalls shows where it stopped; the flash page's
// erase wait becomes a state.
#pragma once

#include "Progress.h"
#include "WorkerOutput.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class CWorkerProgress : public IProgress {
public:
    explicit CWorkerProgress(CWorkerOutput& output);
    ~CWorkerProgress() override;
    CWorkerProgress(const CWorkerProgress&) = delete;
    CWorkerProgress& operator=(const CWorkerProgress&) = delete;

    BOOL Create() override;
    void SetStep(int nStep) override { m_nStep = nStep; }
    void SetRange(int nLower, int nUpper) override;
    void SetStatusText(const std::string& text) override;
    int StepIt() override;
    BOOL DestroyWindow() override;

    // Sends the upload's position if it has moved since it was last sent.
    void Flush();
    long long BytesSent();
    std::string StatusText();

private:
    using Clock = std::chrono::steady_clock;
    bool IsUpload() const { return m_nWindows == 1; }
    void Ticker();

    CWorkerOutput& m_output;
    // Touched by the procedure's thread only.
    int m_nWindows = 0; // the first shows the blocks, a second the erase wait
    int m_nStep = 0;
    int m_nLower = 0;
    int m_nUpper = 0;
    int m_nPos = 0;
    // Shared with the ticker.
    std::mutex m_mutex;
    std::condition_variable m_cvStop;
    bool m_bStop = false;
    long long m_nBytes = 0;
    long long m_nTotal = -1; // no upload yet
    long long m_nSentBytes = 0;
    long long m_nSentTotal = -1;
    Clock::time_point m_sendStart;
    std::string m_strStatus;
    std::thread m_ticker;
};
