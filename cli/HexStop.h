// Where the HEX reader stops reading: at a Ctrl-Z that begins a line, or one
// character into a line too long to be a record. Nothing after it can change
// what is sent, so CInputImage keeps nothing after it: /dev/zero ends here.
#pragma once

#include <cstddef>

class CHexStop {
public:
    // How many of the n bytes the reader can reach.
    size_t Scan(const char* p, size_t n);
    bool Stopped() const { return m_bStopped; }

private:
    int m_nLine = 0;
    bool m_bStopped = false;
};
