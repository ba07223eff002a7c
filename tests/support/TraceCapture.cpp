#include "TraceCapture.h"

#include "Trace.h"

#include <algorithm>

CTraceCapture::CTraceCapture() {
    SetTraceSink([this](const std::string& line) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(line);
    });
}

CTraceCapture::~CTraceCapture() { SetTraceSink(nullptr); }

std::vector<std::string> CTraceCapture::Lines() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

bool CTraceCapture::Contains(const std::string& line) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
}
