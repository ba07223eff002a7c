// Captures the diagnostic lines for the life of the object.
#pragma once

#include <mutex>
#include <string>
#include <vector>

class CTraceCapture {
public:
    CTraceCapture();
    ~CTraceCapture();
    std::vector<std::string> Lines() const;
    bool Contains(const std::string& line) const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};
