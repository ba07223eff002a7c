#include "WorkerProgress.h"

#include <algorithm>

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
}

CWorkerProgress::CWorkerProgress(CWorkerOutput& output)
    : m_output(output), m_ticker([this] { Ticker(); }) {}

CWorkerProgress::~CWorkerProgress() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cvStop.notify_one();
    m_ticker.join();
}

void CWorkerProgress::Ticker() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_cvStop.wait_for(lock, kProgressInterval, [this] { return m_bStop; })) {
        lock.unlock();
        Flush();
        lock.lock();
    }
}

void CWorkerProgress::Flush() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nTotal < 0 || (m_nBytes == m_nSentBytes && m_nTotal == m_nSentTotal))
        return;
    m_nSentBytes = m_nBytes;
    m_nSentTotal = m_nTotal;
    m_output.Progress(m_nBytes, m_nTotal,
                      std::chrono::duration<double>(Clock::now() - m_sendStart).count());
}

BOOL CWorkerProgress::Create() {
    ++m_nWindows;
    m_nPos = m_nLower = m_nUpper = 0;
    m_output.State(IsUpload() ? "sending" : "erasing");
    return TRUE;
}

void CWorkerProgress::SetRange(int nLower, int nUpper) {
    m_nLower = m_nPos = nLower;
    m_nUpper = nUpper;
    if (!IsUpload())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nBytes = 0;
        m_nTotal = nUpper - nLower;
        m_sendStart = Clock::now();
    }
    Flush();
}

void CWorkerProgress::SetStatusText(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strStatus = text;
}

int CWorkerProgress::StepIt() {
    const int nOld = m_nPos;
    m_nPos = std::min(m_nPos + m_nStep, m_nUpper);
    if (IsUpload()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nBytes = m_nPos - m_nLower;
    }
    return nOld;
}

BOOL CWorkerProgress::DestroyWindow() {
    // The upload's window closes after the last block, or after a failure.
    if (IsUpload() && m_nPos == m_nUpper) {
        Flush();
        m_output.State("finishing");
    }
    return TRUE;
}

long long CWorkerProgress::BytesSent() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nBytes;
}

std::string CWorkerProgress::StatusText() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strStatus;
}
