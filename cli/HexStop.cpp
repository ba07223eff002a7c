#include "HexStop.h"

#include "HexFile.h"

size_t CHexStop::Scan(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] == '\n' || p[i] == '\r') {
            m_nLine = 0;
        } else if (m_nLine == 0 && p[i] == CHexFile::kEndOfFileMark) {
            m_bStopped = true;
            return i;
        } else if (++m_nLine > CHexFile::kMaxLineLength) {
            m_bStopped = true;
            return i + 1;
        }
    }
    return n;
}
