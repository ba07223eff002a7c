#include "WorkerProgress.h"

#include <algorithm>

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
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
    if (IsUpload()) {
        m_output.Progress(0, m_nUpper - m_nLower);
        m_lastSent = std::chrono::steady_clock::now();
    }
}

int CWorkerProgress::StepIt() {
    const int nOld = m_nPos;
    m_nPos = std::min(m_nPos + m_nStep, m_nUpper);
    if (IsUpload()) {
        m_nBytes = m_nPos - m_nLower;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastSent >= kProgressInterval || m_nPos == m_nUpper) {
            m_output.Progress(m_nBytes, m_nUpper - m_nLower);
            m_lastSent = now;
        }
    }
    return nOld;
}

BOOL CWorkerProgress::DestroyWindow() {
    if (IsUpload())
        m_output.State("finishing");
    return TRUE;
}
